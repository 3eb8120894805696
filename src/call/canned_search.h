#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace olvex {

// A text as the canned search compares it: letter case and accents do not count.
QString FoldForSearch(const QString& text);
// Whether every word of the folded query is in the title or the message.
bool AnswerMatches(const QString& foldedQuery, const QString& title, const QString& message);

// Finding a canned answer from the keyboard: a search field over the canned tree filters
// the answers as the operator types; Up and Down move among the answers shown, Enter puts
// the chosen one into the input box at the cursor, Escape goes back to the input box. While
// the search is open, moving through the tree does not fill the input box.
class CannedSearch : public QObject {
    Q_OBJECT

public:
    static QKeySequence Shortcut() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F); }

    // Answers carry their message under `messageRole`; categories carry none.
    CannedSearch(QLineEdit& field, QTreeWidget& tree, QPlainTextEdit& input, int messageRole,
                 QObject* parent = nullptr);

    bool Active() const { return active; }
    void Open();
    // Clears the filter and hands the keyboard back to the input box.
    void Close();

signals:
    void Closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Filter(const QString& query);
    void Move(int step);
    void Insert();
    bool IsAnswer(const QTreeWidgetItem* item) const;

    QLineEdit& field;
    QTreeWidget& tree;
    QPlainTextEdit& input;
    const int messageRole;
    bool active = false;
};

} // namespace olvex
