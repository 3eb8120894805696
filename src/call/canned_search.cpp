#include "canned_search.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

namespace olvex {

QString FoldForSearch(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing)
            continue;
        folded += c;
    }
    return folded.toCaseFolded();
}

bool AnswerMatches(const QString& foldedQuery, const QString& title, const QString& message) {
    const QString haystack = FoldForSearch(title) + QLatin1Char('\n') + FoldForSearch(message);
    for (const QString& word : foldedQuery.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!haystack.contains(word))
            return false;
    }
    return true;
}

CannedSearch::CannedSearch(QLineEdit& f, QTreeWidget& t, QPlainTextEdit& i, int role,
                           QObject* parent)
    : QObject(parent), field(f), tree(t), input(i), messageRole(role) {
    field.hide();
    field.installEventFilter(this);
    connect(&field, &QLineEdit::textChanged, this, &CannedSearch::Filter);
}

bool CannedSearch::IsAnswer(const QTreeWidgetItem* item) const {
    return item && item->data(0, messageRole).isValid();
}

void CannedSearch::Open() {
    active = true;
    field.show();
    field.setFocus(Qt::ShortcutFocusReason);
    field.selectAll();
    Filter(field.text());
}

void CannedSearch::Close() {
    if (!active)
        return;
    field.clear();
    field.hide();
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* category = tree.topLevelItem(i);
        category->setHidden(false);
        for (int j = 0; j < category->childCount(); ++j)
            category->child(j)->setHidden(false);
    }
    active = false;
    input.setFocus(Qt::OtherFocusReason);
    emit Closed();
}

void CannedSearch::Filter(const QString& query) {
    if (!active)
        return;
    const QString folded = FoldForSearch(query);
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* category = tree.topLevelItem(i);
        bool any = false;
        for (int j = 0; j < category->childCount(); ++j) {
            QTreeWidgetItem* answer = category->child(j);
            const bool match =
                IsAnswer(answer) &&
                AnswerMatches(folded, answer->text(0), answer->data(0, messageRole).toString());
            answer->setHidden(!match);
            if (match && !first)
                first = answer;
            any = any || match;
        }
        category->setHidden(!any);
        if (any)
            category->setExpanded(true);
    }
    // The best guess is ready for Enter; the input box is not touched.
    tree.setCurrentItem(first);
}

void CannedSearch::Move(int step) {
    QList<QTreeWidgetItem*> shown;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        QTreeWidgetItem* category = tree.topLevelItem(i);
        for (int j = 0; !category->isHidden() && j < category->childCount(); ++j) {
            if (!category->child(j)->isHidden())
                shown << category->child(j);
        }
    }
    if (shown.isEmpty())
        return;
    const qsizetype at = shown.indexOf(tree.currentItem());
    const qsizetype next = at < 0 ? (step > 0 ? 0 : shown.size() - 1)
                                  : std::clamp<qsizetype>(at + step, 0, shown.size() - 1);
    tree.setCurrentItem(shown[next]);
    tree.scrollToItem(shown[next]);
}

void CannedSearch::Insert() {
    QTreeWidgetItem* item = tree.currentItem();
    if (!IsAnswer(item) || item->isHidden())
        return;
    const QString message = item->data(0, messageRole).toString();
    Close();
    if (!input.isReadOnly()) // the chat is over: the box keeps what it has
        input.textCursor().insertText(message);
}

bool CannedSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &field ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        break;
    default:
        return QObject::eventFilter(watched, event);
    }
    // Claimed before the window's own shortcuts (Escape closes the window) can see it.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    switch (key->key()) {
    case Qt::Key_Up:
        Move(-1);
        break;
    case Qt::Key_Down:
        Move(1);
        break;
    case Qt::Key_Escape:
        Close();
        break;
    default:
        Insert();
    }
    return true;
}

} // namespace olvex
