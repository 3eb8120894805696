#pragma once

#include "canned_answer_store.h"

#include <QDialog>
#include <QIcon>
#include <string>

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace olvex {

// "Canned Answers": the editor of canned.dat. The tree is a private copy of
// the file from the moment the dialog opens; OK writes it back, Cancel drops it.
class CCannedMsgDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCannedMsgDlg(std::string path = CannedFilePath(), QWidget* parent = nullptr);

    // The tree as a store, in display order.
    CannedAnswerStore Store() const;

public slots:
    void Add();
    void Edit();
    void Delete();
    void accept() override;

private:
    void Fill(const CannedAnswerStore& store);
    void OnSelectionChanged();
    QTreeWidgetItem* Selected() const;
    QStringList CategoryNames() const;
    // The first category named exactly so, or a new one at the end.
    QTreeWidgetItem* CategoryFor(const QString& name);
    QTreeWidgetItem* AddCategory(const QString& name, const std::string* bytes = nullptr);
    QTreeWidgetItem* AddAnswer(QTreeWidgetItem* category, const QString& title,
                               const QString& message);

    std::string path_;
    QIcon categoryIcon_;
    QIcon answerIcon_;
    QTreeWidget* tree_;
    QPlainTextEdit* preview_;
    QPushButton* addButton_;
    QPushButton* editButton_;
    QPushButton* deleteButton_;
};

} // namespace olvex
