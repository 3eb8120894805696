#include "canned_msg_dlg.h"

#include "canned_edit_dlg.h"
#include "font_scaled.h"
#include "message_box.h"

#include <QByteArray>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSvgRenderer>
#include <QTreeWidget>
#include <QVBoxLayout>

// The resources live in a static library: nothing else would pull them in.
static void InitCannedResources() {
    Q_INIT_RESOURCE(canned);
}

namespace olvex {

namespace {

// An answer item carries its message; a category carries none.
constexpr int kMessageRole = Qt::UserRole;
// The bytes an item's text was loaded from, so that texts which are not valid
// UTF-8 survive a save unless the operator changes them.
constexpr int kBytesRole = Qt::UserRole + 1;

QIcon Icon(const QString& resource) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap, QIcon::Normal);
        icon.addPixmap(pixmap, QIcon::Selected);
    }
    return icon;
}

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string ToBytes(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string ItemText(const QTreeWidgetItem* item) {
    const QVariant original = item->data(0, kBytesRole);
    if (original.isValid()) {
        const QByteArray bytes = original.toByteArray();
        if (QString::fromUtf8(bytes) == item->text(0))
            return ToBytes(bytes);
    }
    return ToBytes(item->text(0).toUtf8());
}

bool IsAnswer(const QTreeWidgetItem* item) {
    return item && item->data(0, kMessageRole).isValid();
}

void ShowMessage(QWidget* parent, const char* text) {
    QMessageBox box(QMessageBox::Warning, "Olvex", text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    ExecWindowModal(box);
}

} // namespace

CCannedMsgDlg::CCannedMsgDlg(std::string path, QWidget* parent)
    : QDialog(parent), path_(std::move(path)) {
    InitCannedResources();
    categoryIcon_ = Icon(":/canned/category.svg");
    answerIcon_ = Icon(":/canned/answer.svg");
    setWindowTitle("Canned Answers");

    auto* frame = new QGroupBox(this);
    auto* caption = new QLabel(
        "Edit the canned answers to send to the web site visitors from the chat window:", frame);
    caption->setWordWrap(true);

    tree_ = new QTreeWidget(frame);
    tree_->setObjectName("tree");
    tree_->setAccessibleName("Canned answers");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setRootIsDecorated(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setIconSize(QSize(16, 16));
    tree_->setExpandsOnDoubleClick(true);

    preview_ = new QPlainTextEdit(frame);
    preview_->setAccessibleName("Message of the selected answer");
    preview_->setObjectName("preview");
    preview_->setReadOnly(true);
    preview_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    preview_->ensurePolished();
    preview_->setFixedHeight(preview_->fontMetrics().lineSpacing() * 3 + 10);

    addButton_ = new QPushButton("&Add", frame);
    editButton_ = new QPushButton("&Edit", frame);
    deleteButton_ = new QPushButton("&Delete", frame);
    addButton_->setObjectName("add");
    editButton_->setObjectName("edit");
    deleteButton_->setObjectName("delete");
    for (QPushButton* button : {addButton_, editButton_, deleteButton_})
        button->setAutoDefault(false);
    editButton_->setEnabled(false);
    deleteButton_->setEnabled(false);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(addButton_);
    row->addWidget(editButton_);
    row->addWidget(deleteButton_);

    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(caption);
    frameLayout->addWidget(tree_, 1);
    frameLayout->addWidget(preview_);
    frameLayout->addLayout(row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCannedMsgDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCannedMsgDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addWidget(buttons);
    ResizeForFont(*this, QSize(300, 380));

    connect(addButton_, &QPushButton::clicked, this, &CCannedMsgDlg::Add);
    connect(editButton_, &QPushButton::clicked, this, &CCannedMsgDlg::Edit);
    connect(deleteButton_, &QPushButton::clicked, this, &CCannedMsgDlg::Delete);
    // The Delete key in the tree does what the button does, when the button can.
    auto* deleteKey =
        new QShortcut(QKeySequence::Delete, tree_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, deleteButton_, &QAbstractButton::animateClick);
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, &CCannedMsgDlg::Edit);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &CCannedMsgDlg::OnSelectionChanged);

    CannedAnswerStore store;
    store.Load(path_);
    Fill(store);
}

void CCannedMsgDlg::Fill(const CannedAnswerStore& store) {
    for (const CannedCategory& category : store.categories) {
        QTreeWidgetItem* parent = AddCategory(FromBytes(category.name), &category.name);
        for (const CannedAnswer& answer : category.answers) {
            QTreeWidgetItem* item = AddAnswer(parent, FromBytes(answer.title), QString());
            item->setData(0, kBytesRole, QByteArray::fromStdString(answer.title));
            item->setData(0, kMessageRole, QByteArray::fromStdString(answer.message));
        }
        parent->setExpanded(true);
    }
}

CannedAnswerStore CCannedMsgDlg::Store() const {
    CannedAnswerStore store;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* categoryItem = tree_->topLevelItem(i);
        CannedCategory category{ItemText(categoryItem), {}};
        for (int j = 0; j < categoryItem->childCount(); ++j) {
            const QTreeWidgetItem* item = categoryItem->child(j);
            if (!IsAnswer(item))
                continue;
            category.answers.push_back(
                CannedAnswer{ItemText(item), ToBytes(item->data(0, kMessageRole).toByteArray())});
        }
        store.categories.push_back(std::move(category));
    }
    return store;
}

QTreeWidgetItem* CCannedMsgDlg::Selected() const {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

QStringList CCannedMsgDlg::CategoryNames() const {
    QStringList names;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        names << tree_->topLevelItem(i)->text(0);
    return names;
}

QTreeWidgetItem* CCannedMsgDlg::AddCategory(const QString& name, const std::string* bytes) {
    auto* item = new QTreeWidgetItem(tree_, QStringList{name});
    item->setIcon(0, categoryIcon_);
    if (bytes)
        item->setData(0, kBytesRole, QByteArray::fromStdString(*bytes));
    return item;
}

QTreeWidgetItem* CCannedMsgDlg::AddAnswer(QTreeWidgetItem* category, const QString& title,
                                          const QString& message) {
    auto* item = new QTreeWidgetItem(category, QStringList{title});
    item->setIcon(0, answerIcon_);
    item->setData(0, kMessageRole, message.toUtf8());
    return item;
}

QTreeWidgetItem* CCannedMsgDlg::CategoryFor(const QString& name) {
    // Exact match: names differing only in case are different categories.
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (tree_->topLevelItem(i)->text(0) == name)
            return tree_->topLevelItem(i);
    }
    return AddCategory(name);
}

void CCannedMsgDlg::OnSelectionChanged() {
    QTreeWidgetItem* item = Selected();
    const bool answer = IsAnswer(item);
    editButton_->setEnabled(answer);
    preview_->setPlainText(answer ? QString::fromUtf8(item->data(0, kMessageRole).toByteArray())
                                  : QString());
    deleteButton_->setEnabled(true);
}

void CCannedMsgDlg::Add() {
    const QStringList names = CategoryNames();
    QString proposed;
    if (QTreeWidgetItem* item = Selected())
        proposed = item->parent() ? item->parent()->text(0) : item->text(0);

    CCannedEditDlg dialog(names, proposed, QString(), QString(), this);
    if (ExecWindowModal(dialog) != QDialog::Accepted)
        return;
    QTreeWidgetItem* answer = AddAnswer(CategoryFor(dialog.category), dialog.title, dialog.message);
    tree_->scrollToItem(answer);
}

void CCannedMsgDlg::Edit() {
    const QStringList names = CategoryNames();
    QTreeWidgetItem* item = Selected();
    if (!item || !item->parent() || !IsAnswer(item))
        return;
    const QString oldCategory = item->parent()->text(0);

    CCannedEditDlg dialog(names, oldCategory, item->text(0),
                          QString::fromUtf8(item->data(0, kMessageRole).toByteArray()), this);
    if (ExecWindowModal(dialog) != QDialog::Accepted)
        return;

    if (dialog.category == oldCategory) {
        item->setText(0, dialog.title);
        // An unchanged message keeps its bytes, whatever their encoding.
        if (dialog.message != QString::fromUtf8(item->data(0, kMessageRole).toByteArray()))
            item->setData(0, kMessageRole, dialog.message.toUtf8());
        if (item->isSelected())
            OnSelectionChanged();
        return;
    }
    // A move: the old category stays, even when this leaves it empty.
    delete item;
    QTreeWidgetItem* moved = AddAnswer(CategoryFor(dialog.category), dialog.title, dialog.message);
    tree_->scrollToItem(moved);
}

void CCannedMsgDlg::Delete() {
    // Deleting a category deletes its answers with it.
    delete Selected();
}

void CCannedMsgDlg::accept() {
    // A failed save keeps the dialog open so that the operator's changes are not lost.
    if (Store().Save(path_) != 0) {
        ShowMessage(this, "There was an error while writing the canned messages file.");
        return;
    }
    QDialog::accept();
}

} // namespace olvex
