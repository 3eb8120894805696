#include "canned_edit_dlg.h"

#include "font_scaled.h"
#include "message_box.h"
#include "placeholders.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace olvex {

CCannedEditDlg::CCannedEditDlg(QStringList categoryList, QString category, QString title,
                               QString message, QWidget* parent)
    : QDialog(parent), categoryList(std::move(categoryList)), category(std::move(category)),
      title(std::move(title)), message(std::move(message)) {
    setWindowTitle("Edit Canned Message");

    auto* frame = new QGroupBox(this);
    auto* intro = new QLabel("Please type in the  category, title and message for this canned "
                             "answer. You can type or paste HTML formatted text in the message "
                             "field.",
                             frame);
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);

    categoryBox_ = new QComboBox(frame);
    categoryBox_->setObjectName("category");
    categoryBox_->setEditable(true);
    categoryBox_->setInsertPolicy(QComboBox::NoInsert);
    categoryBox_->addItems(this->categoryList);
    categoryBox_->setEditText(this->category);

    titleEdit_ = new QLineEdit(this->title, frame);
    titleEdit_->setObjectName("title");

    messageEdit_ = new QPlainTextEdit(frame);
    messageEdit_->setObjectName("message");
    messageEdit_->setPlainText(this->message);
    messageEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit_->setTabChangesFocus(true);
    messageEdit_->installEventFilter(this);

    auto* grid = new QGridLayout;
    auto addLabel = [&](const char* text, QWidget* buddy, int row) {
        auto* label = new QLabel(text, frame);
        label->setBuddy(buddy);
        grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(buddy, row, 1);
    };
    addLabel("&Category:", categoryBox_, 0);
    addLabel("&Title:", titleEdit_, 1);
    addLabel("&Message:", messageEdit_, 2);
    grid->setRowStretch(2, 1);
    auto* placeholders = new QLabel(QLatin1String(kPlaceholderHint), frame);
    placeholders->setObjectName("placeholderHint");
    placeholders->setTextFormat(Qt::PlainText);
    placeholders->setWordWrap(true);
    grid->addWidget(placeholders, 3, 1);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(intro);
    frameLayout->addLayout(grid, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton_ = buttons->button(QDialogButtonBox::Ok);
    okButton_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCannedEditDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCannedEditDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addWidget(buttons);
    ResizeForFont(*this, QSize(335, 300));
}

bool CCannedEditDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter confirms the dialog from the message box too; Ctrl+Enter types the line break.
    if (watched == messageEdit_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ControlModifier)
                messageEdit_->insertPlainText("\n");
            else
                okButton_->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CCannedEditDlg::accept() {
    category = categoryBox_->currentText();
    title = titleEdit_->text();
    message = messageEdit_->toPlainText();
    // Blanks count as text: only truly empty fields are refused.
    if (category.isEmpty() || title.isEmpty() || message.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, "Olvex",
                        "You must type in all the fields for the canned message.", QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        ExecWindowModal(box);
        return;
    }
    QDialog::accept();
}

} // namespace olvex
