#include "history_window.h"

#include "archive_reader.h"
#include "call_images.h"
#include "flat_button.h"
#include "font_scaled.h"
#include "message_box.h"
#include "readable_colours.h"
#include "rtf_writer.h"
#include "transcript_archive.h"
#include "transcript_files.h"
#include "transcript_view.h"
#include "ui_event_pump.h"
#include "window_placement_store.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QSplitter>
#include <QTextDocument>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>

namespace olvex {

namespace {

const QString kPlacementSection = QStringLiteral("HistoryWindow");

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString Operators(const ConversationSummary& c) {
    QString names = FromBytes(c.operatorName);
    if (!c.operators.empty())
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + FromBytes(c.operators);
    return names;
}

} // namespace

// The list's rows: one per conversation, as read; nothing is kept beyond them.
class ConversationListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Set(std::vector<ConversationSummary> rows) {
        beginResetModel();
        conversations = std::move(rows);
        endResetModel();
    }
    const std::vector<ConversationSummary>& Rows() const { return conversations; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(conversations.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 4;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const ConversationSummary& c = conversations[static_cast<size_t>(index.row())];
        switch (index.column()) {
        case 0:
            return ConversationDate(c.started);
        case 1:
            return FromBytes(c.visitors);
        case 2:
            return Operators(c);
        default:
            return QString::number(c.lineCount);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const names[] = {"Date", "Visitor", "Operators", "Lines"};
        return QLatin1String(names[section]);
    }

private:
    std::vector<ConversationSummary> conversations;
};

QString ConversationDate(int64_t startedMs) {
    return QDateTime::fromMSecsSinceEpoch(startedMs).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

HistoryWindow::HistoryWindow(std::string file, std::shared_ptr<TranscriptArchive> writer,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), path(std::move(file)), archive(std::move(writer)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Olvex History"));
    setWindowIcon(CallProgramIcon());

    model = new ConversationListModel(this);
    list = new QTreeView(this);
    list->setObjectName(QStringLiteral("conversationList"));
    list->setModel(model);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    KeepColumnsWideForFont(*list, {120, 0, 110, 45});
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowSelected(); });

    list->setAccessibleName(QStringLiteral("Conversations"));
    transcript = new TranscriptView(this);
    transcript->setObjectName(QStringLiteral("transcript"));
    transcript->setAccessibleName(QStringLiteral("Transcript"));

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(list);
    split->addWidget(transcript);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);

    status = new QLabel(this);
    status->setObjectName(QStringLiteral("status"));
    status->setTextFormat(Qt::PlainText);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(2, 0, 2, 2);
    root->setSpacing(2);
    root->addWidget(BuildToolbar());
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    root->addWidget(line);
    root->addWidget(split, 1);
    root->addWidget(status);

    BuildShortcuts();
    ResizeForFont(*this, QSize(820, 480));
    WindowPlacementStore().RestoreWindowPlacement(*this, kPlacementSection);
    Reload();
    // The window is mostly opened to look something up.
    searchBox->setFocus();
}

HistoryWindow::~HistoryWindow() = default;

QWidget* HistoryWindow::BuildToolbar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 1, 0, 1);
    row->setSpacing(1);
    auto button = [&](const char* text, const char* image) {
        auto* b = new FlatButton(QLatin1String(text), bar);
        b->setObjectName(QLatin1String(image) + QStringLiteral("Button"));
        // Reached with Tab and their mnemonics; a click leaves the keyboard where it was.
        b->setFocusPolicy(Qt::TabFocus);
        ApplyToolbarPreset(*b, CallImage(QLatin1String(image), 20));
        b->setMinimumWidth(48);
        row->addWidget(b);
        return b;
    };
    saveButton = button("&Save", "save");
    printButton = button("&Print", "print");
    deleteButton = button("&Delete", "delete");
    connect(saveButton, &QPushButton::clicked, this,
            [this] { SaveTranscriptWithDialog(this, *transcript); });
    connect(printButton, &QPushButton::clicked, this, [this] {
        if (const ConversationSummary* c = Selected())
            PrintTranscriptWithDialog(this, *transcript, PrintTitle(*c));
    });
    connect(deleteButton, &QPushButton::clicked, this, &HistoryWindow::DeleteSelected);
    row->addSpacing(12);
    searchBox = new QLineEdit(bar);
    searchBox->setObjectName(QStringLiteral("searchBox"));
    searchBox->setPlaceholderText(QStringLiteral("Search"));
    searchBox->setClearButtonEnabled(true);
    searchBox->setAccessibleName(QStringLiteral("Search the history"));
    connect(searchBox, &QLineEdit::textChanged, this, &HistoryWindow::Search);
    row->addWidget(searchBox, 1);
    return bar;
}

void HistoryWindow::BuildShortcuts() {
    const std::pair<QKeySequence, QAbstractButton*> buttons[] = {
        {QKeySequence::Save, saveButton},
        {QKeySequence::Print, printButton},
    };
    for (const auto& [keys, target] : buttons)
        connect(new QShortcut(keys, this), &QShortcut::activated, target, &QAbstractButton::click);
    // Delete on the list, where the conversation to delete is chosen.
    auto* remove = new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, deleteButton, &QAbstractButton::click);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        searchBox->setFocus();
        searchBox->selectAll();
    });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this), &QShortcut::activated, this,
            &QWidget::close);
}

const std::vector<ConversationSummary>& HistoryWindow::Shown() const {
    return model->Rows();
}

void HistoryWindow::Reload() {
    // The file may have been made since the window opened.
    if (!reader || !reader->IsOpen())
        reader = std::make_unique<ArchiveReader>(path);
    const int64_t selected = Selected() ? Selected()->id : 0;
    const QString typed = searchBox->text().trimmed();
    const bool searching = !SearchExpression(typed.toStdString()).empty();
    bool more = false;
    model->Set(searching ? reader->Search(typed.toStdString(), ArchiveReader::kSearchLimit, &more)
                         : reader->Conversations());

    const auto& rows = model->Rows();
    int row = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].id == selected)
            row = static_cast<int>(i);
    }
    if (!rows.empty())
        Select(row);
    else
        ShowSelected();

    QString text;
    if (archive && archive->Failed())
        text = FromBytes(archive->FailureText()) + QLatin1Char(' ');
    if (more) {
        text += QStringLiteral("More than %1 conversations match; the newest %1 are listed")
                    .arg(rows.size());
    } else if (searching) {
        text += rows.size() == 1 ? QStringLiteral("1 conversation matches")
                                 : QStringLiteral("%1 conversations match").arg(rows.size());
    } else {
        text += rows.size() == 1 ? QStringLiteral("1 conversation")
                                 : QStringLiteral("%1 conversations").arg(rows.size());
    }
    status->setText(text);
    deleteButton->setEnabled(archive != nullptr && !rows.empty());
    saveButton->setEnabled(!rows.empty());
    printButton->setEnabled(!rows.empty());
}

void HistoryWindow::Search(const QString&) {
    Reload();
}

void HistoryWindow::Select(int row) {
    if (row < 0 || row >= model->rowCount())
        return;
    const QModelIndex index = model->index(row, 0);
    const bool same = list->selectionModel()->currentIndex().row() == row;
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    if (same) // no change to announce: show it here
        ShowSelected();
}

const ConversationSummary* HistoryWindow::Selected() const {
    if (!list || !list->selectionModel())
        return nullptr;
    const QModelIndex current = list->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= static_cast<int>(model->Rows().size()))
        return nullptr;
    return &model->Rows()[static_cast<size_t>(current.row())];
}

void HistoryWindow::ShowSelected() {
    transcript->clear();
    const ConversationSummary* c = Selected();
    if (!c)
        return;
    ShowArchivedLines(*transcript, reader->Lines(c->id));
    MarkMatches();
}

// The words searched for are marked where they start a word, without touching the text.
void HistoryWindow::MarkMatches(bool show) {
    QList<QTextEdit::ExtraSelection> marks;
    const QStringList words = searchBox->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QTextCursor first;
    const QPalette& colours = transcript->palette();
    const QColor marker = SearchHitBackground(colours);
    for (const QString& word : words) {
        QTextCursor at(transcript->document());
        while (!(at = transcript->document()->find(word, at)).isNull()) {
            const QTextCursor before = at;
            QTextCursor start(transcript->document());
            start.setPosition(at.selectionStart());
            if (start.atBlockStart() ||
                !transcript->document()->characterAt(at.selectionStart() - 1).isLetterOrNumber()) {
                QTextEdit::ExtraSelection mark;
                mark.cursor = before;
                // The line's own colour, made to read on the marker.
                QColor text = PaperColour(before.charFormat());
                if (!text.isValid())
                    text = colours.color(QPalette::Text);
                mark.format.setBackground(marker);
                mark.format.setForeground(ReadableOn(text, marker));
                marks << mark;
                if (first.isNull() || before.selectionStart() < first.selectionStart())
                    first = before;
            }
        }
    }
    transcript->setExtraSelections(marks);
    if (show && !first.isNull()) {
        QTextCursor show(transcript->document());
        show.setPosition(first.selectionStart());
        transcript->setTextCursor(show);
        transcript->ensureCursorVisible();
    }
}

QString HistoryWindow::PrintTitle(const ConversationSummary& c) const {
    QString title = QStringLiteral("Olvex History - ") + ConversationDate(c.started);
    if (!c.visitors.empty())
        title += QLatin1Char(' ') + FromBytes(c.visitors);
    return title;
}

void HistoryWindow::DeleteSelected() {
    const ConversationSummary* c = Selected();
    if (!c || !archive)
        return;
    const QString who =
        c->visitors.empty() ? QString() : QStringLiteral(" with ") + FromBytes(c->visitors);
    const QString question =
        QStringLiteral("Delete the conversation%1 of %2?").arg(who, ConversationDate(c->started));
    if (ShowMessageBox(this, question, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    QPointer<HistoryWindow> self(this);
    archive->Delete(c->id,
                    [self](bool) { PostToUiThread(self, [](HistoryWindow& w) { w.Reload(); }); });
}

void HistoryWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Light or dark windows: the marker and the text on it change with them.
    if (event->type() == QEvent::PaletteChange && transcript)
        MarkMatches(false);
}

void HistoryWindow::closeEvent(QCloseEvent* event) {
    WindowPlacementStore().SaveWindowPlacement(*this, kPlacementSection);
    event->accept();
}

} // namespace olvex
