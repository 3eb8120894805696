#pragma once

#include "archive_types.h"

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QTreeView;

namespace olvex {

class ArchiveReader;
class ConversationListModel;
class FlatButton;
class TranscriptArchive;
class TranscriptView;

// The past conversations, newest first, with a search over every line that
// narrows the list as the operator types. The selected conversation shows as
// it did in its call window, and can be saved, printed or deleted.
class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // Deleting goes through `archive`, the writer of the file at `path`; without
    // one the window only reads.
    HistoryWindow(std::string path, std::shared_ptr<TranscriptArchive> archive,
                  QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Reads the list again, keeping the search.
    void Reload();
    void Search(const QString& typed);
    void Select(int row);
    void DeleteSelected();

    QLineEdit& SearchBox() const { return *searchBox; }
    QTreeView& List() const { return *list; }
    TranscriptView& Transcript() const { return *transcript; }
    QLabel& StatusLine() const { return *status; }
    const std::vector<ConversationSummary>& Shown() const;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* BuildToolbar();
    void BuildShortcuts();
    void ShowSelected();
    // Marks the searched words; with `show` also scrolls to the first.
    void MarkMatches(bool show = true);
    const ConversationSummary* Selected() const;
    QString PrintTitle(const ConversationSummary& conversation) const;

    std::string path;
    std::shared_ptr<TranscriptArchive> archive;
    std::unique_ptr<ArchiveReader> reader;
    ConversationListModel* model = nullptr;
    QLineEdit* searchBox = nullptr;
    QTreeView* list = nullptr;
    TranscriptView* transcript = nullptr;
    QLabel* status = nullptr;
    FlatButton* saveButton = nullptr;
    FlatButton* printButton = nullptr;
    FlatButton* deleteButton = nullptr;
};

// The date and time a conversation started, as the list shows it.
QString ConversationDate(int64_t startedMs);

} // namespace olvex
