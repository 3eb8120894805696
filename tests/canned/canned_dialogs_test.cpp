#include "canned_edit_dlg.h"
#include "canned_msg_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>

using namespace olvex;

namespace {

// Runs the action on the next modal dialog of type T as soon as it is up. A
// dialog that never shows fails the test instead of hanging it.
template <class T> void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        } else if (clock->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "expected dialog did not open";
        }
    });
    timer->start(5);
}

// Answers the next message box and keeps its text.
void CloseNextMessageBox(QString* text) {
    WhenModal<QMessageBox>([text](QMessageBox* box) {
        *text = box->text();
        box->accept();
    });
}

void Fill(CCannedEditDlg* dialog, const QString& category, const QString& title,
          const QString& message) {
    dialog->findChild<QComboBox*>("category")->setEditText(category);
    dialog->findChild<QLineEdit*>("title")->setText(title);
    dialog->findChild<QPlainTextEdit*>("message")->setPlainText(message);
}

class CannedDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("olvex_canned_ui_" + std::to_string(QCoreApplication::applicationPid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        path = (dir / "canned.dat").string();
        CannedAnswerStore store;
        store.categories = {{"Sales", {{"Price", "<b>10</b>"}, {"Terms", "30 days"}}},
                            {"Support", {{"Reset", "Click reset"}}}};
        ASSERT_EQ(store.Save(path), 0);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::unique_ptr<CCannedMsgDlg> Open() {
        auto dialog = std::make_unique<CCannedMsgDlg>(path);
        dialog->show();
        tree = dialog->findChild<QTreeWidget*>("tree");
        return dialog;
    }
    QPushButton* Button(CCannedMsgDlg& dialog, const char* name) {
        return dialog.findChild<QPushButton*>(name);
    }
    std::string FileBytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Runs Add or Edit, checks what the editor proposes and enters the answer.
    void RunEditor(QPushButton* trigger, const QString& proposed, const QString& category,
                   const QString& title, const QString& message) {
        bool seen = false;
        WhenModal<CCannedEditDlg>([&](CCannedEditDlg* editor) {
            seen = true;
            EXPECT_EQ(editor->findChild<QComboBox*>("category")->currentText(), proposed);
            Fill(editor, category, title, message);
            editor->accept();
        });
        trigger->click();
        EXPECT_TRUE(seen);
    }

    std::filesystem::path dir;
    std::string path;
    QTreeWidget* tree = nullptr;
};

} // namespace

TEST_F(CannedDialogTest, FreshUserGetsTheDefaultsSavedOnOk) {
    std::filesystem::remove(path);
    auto dialog = Open();
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_FALSE(std::filesystem::exists(path));
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    CannedAnswerStore saved, defaults;
    saved.Load(path);
    defaults.LoadDefaults();
    EXPECT_EQ(saved, defaults);
    EXPECT_EQ(FileBytes(), defaults.ToBytes());
    // The default location and Qt's idea of the per-user data directory agree.
    EXPECT_EQ(QString::fromStdString(CannedFilePath()),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  "/Olvex/canned.dat");
}

TEST_F(CannedDialogTest, SelectionDrivesPreviewAndButtons) {
    auto dialog = Open();
    auto* preview = dialog->findChild<QPlainTextEdit*>("preview");
    EXPECT_TRUE(tree->selectedItems().isEmpty());
    EXPECT_FALSE(Button(*dialog, "edit")->isEnabled());
    EXPECT_FALSE(Button(*dialog, "delete")->isEnabled());

    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    EXPECT_EQ(preview->toPlainText(), "<b>10</b>");
    EXPECT_TRUE(Button(*dialog, "edit")->isEnabled());
    EXPECT_TRUE(Button(*dialog, "delete")->isEnabled());

    tree->setCurrentItem(tree->topLevelItem(1));
    EXPECT_EQ(preview->toPlainText(), "");
    EXPECT_FALSE(Button(*dialog, "edit")->isEnabled());
    EXPECT_TRUE(Button(*dialog, "delete")->isEnabled());
}

TEST_F(CannedDialogTest, AddProposesTheSelectedCategoryAndMatchesExactly) {
    auto dialog = Open();
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));
    RunEditor(Button(*dialog, "add"), "Sales", "Sales", "Discount", "5%");
    tree->setCurrentItem(tree->topLevelItem(1));
    RunEditor(Button(*dialog, "add"), "Support", "support", "Lower", "case differs");
    tree->clearSelection();
    RunEditor(Button(*dialog, "add"), "", "New", "N", "in a new category");

    const CannedAnswerStore store = dialog->Store();
    ASSERT_EQ(store.categories.size(), 4u);
    EXPECT_EQ(store.categories[0].answers.back(), (CannedAnswer{"Discount", "5%"}));
    EXPECT_EQ(store.categories[0].answers.size(), 3u);
    EXPECT_EQ(store.categories[2], (CannedCategory{"support", {{"Lower", "case differs"}}}));
    EXPECT_EQ(store.categories[3], (CannedCategory{"New", {{"N", "in a new category"}}}));
    EXPECT_TRUE(tree->topLevelItem(3)->isExpanded());
}

TEST_F(CannedDialogTest, EmptyFieldsAreRefusedButBlanksPass) {
    auto dialog = Open();
    QString refusal;
    bool closedAfterRefusal = true;
    WhenModal<CCannedEditDlg>([&](CCannedEditDlg* editor) {
        CloseNextMessageBox(&refusal);
        Fill(editor, "", "t", "m"); // nothing selected: no category proposed
        editor->accept();
        closedAfterRefusal = !editor->isVisible();
        Fill(editor, " ", " ", " ");
        editor->accept();
    });
    Button(*dialog, "add")->click();
    EXPECT_EQ(refusal, "You must type in all the fields for the canned message.");
    EXPECT_FALSE(closedAfterRefusal);
    EXPECT_EQ(dialog->Store().categories.back(), (CannedCategory{" ", {{" ", " "}}}));
}

TEST_F(CannedDialogTest, EditKeepsPlaceOrMovesToTheEnd) {
    auto dialog = Open();
    // Same category: changed in place.
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    RunEditor(Button(*dialog, "edit"), "Sales", "Sales", "Price", "<b>12</b>");
    EXPECT_EQ(dialog->findChild<QPlainTextEdit*>("preview")->toPlainText(), "<b>12</b>");
    // Another category: moved to its end.
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    RunEditor(Button(*dialog, "edit"), "Sales", "Support", "Price", "<b>12</b>");
    // A new category: created at the end; the emptied one stays.
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    RunEditor(Button(*dialog, "edit"), "Sales", "Billing", "Terms", "60 days");

    const CannedAnswerStore store = dialog->Store();
    ASSERT_EQ(store.categories.size(), 3u);
    EXPECT_EQ(store.categories[0], (CannedCategory{"Sales", {}}));
    EXPECT_EQ(store.categories[1],
              (CannedCategory{"Support", {{"Reset", "Click reset"}, {"Price", "<b>12</b>"}}}));
    EXPECT_EQ(store.categories[2], (CannedCategory{"Billing", {{"Terms", "60 days"}}}));

    // A category opens no editor, from the button or a double click.
    tree->setCurrentItem(tree->topLevelItem(1));
    dialog->Edit();
    emit tree->itemDoubleClicked(tree->topLevelItem(1), 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(CannedDialogTest, DeleteRemovesACategoryWithItsAnswers) {
    auto dialog = Open();
    Button(*dialog, "delete")->setEnabled(true);
    dialog->Delete(); // nothing selected
    EXPECT_EQ(tree->topLevelItemCount(), 2);

    tree->setCurrentItem(tree->topLevelItem(0));
    Button(*dialog, "delete")->click();
    const CannedAnswerStore store = dialog->Store();
    ASSERT_EQ(store.categories.size(), 1u);
    EXPECT_EQ(store.categories[0].name, "Support");
    // The selection moved on, and the preview and Edit followed it.
    QTreeWidgetItem* now = tree->selectedItems().value(0);
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(Button(*dialog, "edit")->isEnabled(), now->parent() != nullptr);
}

TEST_F(CannedDialogTest, CancelLeavesTheFileAlone) {
    const std::string before = FileBytes();
    auto dialog = Open();
    tree->setCurrentItem(tree->topLevelItem(0));
    RunEditor(Button(*dialog, "add"), "Sales", "Sales", "x", "y");
    tree->setCurrentItem(tree->topLevelItem(1));
    dialog->Delete();
    dialog->reject();
    EXPECT_EQ(FileBytes(), before);
}

TEST_F(CannedDialogTest, FailedSaveKeepsTheEditorOpenWithTheChanges) {
    auto dialog = Open();
    tree->setCurrentItem(tree->topLevelItem(1));
    dialog->Delete();
    // Replace the file by a directory so the save cannot put its file there.
    std::filesystem::remove(path);
    std::filesystem::create_directories(std::filesystem::path(path) / "blocked");

    QString error;
    CloseNextMessageBox(&error);
    dialog->accept();
    EXPECT_EQ(error, "There was an error while writing the canned messages file.");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Store().categories.size(), 1u);

    std::filesystem::remove_all(path);
    dialog->accept();
    EXPECT_FALSE(dialog->isVisible());
    CannedAnswerStore saved;
    saved.Load(path);
    EXPECT_EQ(saved, dialog->Store());
}

TEST(CannedEditDlg, EnterConfirmsAndCtrlEnterBreaksTheLine) {
    CCannedEditDlg dialog({"A", "B"}, "Z", "T", "one", nullptr);
    dialog.show();
    auto* combo = dialog.findChild<QComboBox*>("category");
    EXPECT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "Z"); // a proposal not in the list stays as typed

    auto* message = dialog.findChild<QPlainTextEdit*>("message");
    message->moveCursor(QTextCursor::End);
    QTest::keyClick(message, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(message, "two");
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(message, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.message, "one\ntwo");
    EXPECT_EQ(dialog.category, "Z");
}
