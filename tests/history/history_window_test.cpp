#include "call_recorder.h"
#include "flat_button.h"
#include "history_window.h"
#include "message_box.h"
#include "transcript_archive.h"
#include "transcript_files.h"
#include "rtf_writer.h"
#include "transcript_view.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QRegularExpression>
#include <QTreeView>
#include <gtest/gtest.h>

using namespace olvex;
using namespace std::chrono_literals;

namespace {

// The lines without their times.
QStringList Lines(const TranscriptView& view) {
    QStringList lines = view.toPlainText()
                            .remove(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d "),
                                                       QRegularExpression::MultilineOption))
                            .split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

QColor LineColour(const TranscriptView& view, int line) {
    QTextBlock block = view.document()->findBlockByNumber(line);
    // The line's own colour, after its time.
    QTextBlock::iterator it = block.begin();
    if (!it.atEnd() && PaperColour(it.fragment().charFormat()) == kTimeColour)
        ++it;
    return it.atEnd() ? QColor() : PaperColour(it.fragment().charFormat());
}

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath("history.sqlite").toStdString();
        archive = TranscriptArchive::Open(path, {});
        CallRecorder older(archive, 1, "demo");
        older.Participant("Zoë", 1);
        older.Line(LineKind::Text, "Zoë", false, "Meine <b>Bestellung</b> fehlt");
        older.End();
        CallRecorder newer(archive, 2, "demo");
        newer.Participant("Max", 1);
        newer.Participant("Alice Smith", 2);
        newer.Line(LineKind::Text, "demo", true, "Hello Max");
        newer.Line(LineKind::Event, "", false, "Max has joined this call");
        newer.Line(LineKind::Text, "Max", false, "Where is my order?");
        newer.Line(LineKind::Link, "demo", true, "http://shop.example/orders");
        newer.End();
        ASSERT_TRUE(archive->Flush(5s));
    }

    QTemporaryDir dir;
    std::string path;
    std::shared_ptr<TranscriptArchive> archive;
};

TEST_F(HistoryWindowTest, ListsNewestFirstShowsAsInTheCallAndSearchesAsOneTypes) {
    HistoryWindow window(path, archive);
    QAbstractItemModel& model = *window.List().model();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(0, 1).data().toString(), "Max");
    EXPECT_EQ(model.index(0, 2).data().toString(), "demo, Alice Smith");
    EXPECT_EQ(model.index(0, 3).data().toString(), "4");
    EXPECT_EQ(window.StatusLine().text(), "2 conversations");

    const TranscriptView& shown = window.Transcript();
    EXPECT_EQ(Lines(shown),
              (QStringList{"demo:", "Hello Max", "Max has joined this call",
                           "Max:", "Where is my order?", "demo:", "http://shop.example/orders"}));
    EXPECT_EQ(LineColour(shown, 0), kOwnNameColour);
    EXPECT_EQ(LineColour(shown, 1), kTextColour);
    EXPECT_EQ(LineColour(shown, 2), kEventColour);
    EXPECT_EQ(LineColour(shown, 3), kOtherNameColour);
    EXPECT_EQ(LineColour(shown, 6), kLinkColour);

    QTest::keyClicks(&window.SearchBox(), "bestel");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(window.StatusLine().text(), "1 conversation matches");
    EXPECT_EQ(Lines(shown), (QStringList{"Zoë:", "Meine <b>Bestellung</b> fehlt"}));
    EXPECT_EQ(shown.extraSelections().size(), 1);
    window.SearchBox().clear(); // the conversation found stays selected
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(window.List().currentIndex().row(), 1);

    // Save writes the conversation shown, through the call window's tool.
    const QString rtf = dir.filePath("chat.rtf");
    SetSaveFileDialogHook([&rtf](QWidget*, const QString&, const QString&) { return rtf; });
    window.findChild<FlatButton*>("saveButton")->click();
    SetSaveFileDialogHook({});
    QFile saved(rtf);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    EXPECT_TRUE(content.contains("Meine <b>Bestellung</b> fehlt")) << content.toStdString();
}

TEST_F(HistoryWindowTest, DeleteAsksFirstAndRemovesOnlyTheSelectedConversation) {
    HistoryWindow window(path, archive);
    QStringList asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    SetMessageBoxHook([&](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                          QMessageBox::StandardButtons) {
        asked << text;
        return answer;
    });
    window.DeleteSelected();
    ASSERT_TRUE(archive->Flush(5s));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.List().model()->rowCount(), 2);
    answer = QMessageBox::Yes;
    window.DeleteSelected();
    SetMessageBoxHook({});
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith("Delete the conversation with Max of "))
        << asked[0].toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.List().model()->rowCount() == 1; }, 5000));
    EXPECT_EQ(window.Shown()[0].callId, 1);
}

} // namespace
