#include "visitors_view.h"

#include "page_list_view.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QVBoxLayout>

namespace olvex {

namespace {

// Escape empties the field, or hands the keyboard back to the list when it is empty already;
// the down arrow goes on to the rows found.
class FindVisitorField : public QLineEdit {
public:
    FindVisitorField(PageListView& list, QWidget* parent) : QLineEdit(parent), list(list) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            if (text().isEmpty())
                list.setFocus(Qt::OtherFocusReason);
            else
                clear();
            return;
        }
        if (event->key() == Qt::Key_Down && list.RowCount() > 0) {
            if (!list.currentIndex().isValid())
                list.setCurrentIndex(list.model()->index(0, 0));
            list.setFocus(Qt::TabFocusReason);
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    PageListView& list;
};

} // namespace

VisitorsView::VisitorsView(QWidget* parent) : QWidget(parent), list(new PageListView(this)) {
    field = new FindVisitorField(*list, this);
    field->setObjectName(QStringLiteral("findVisitor"));
    field->setPlaceholderText(QStringLiteral("Find visitor"));
    field->setClearButtonEnabled(true);
    field->setAccessibleName(QStringLiteral("Find visitor"));
    field->setAccessibleDescription(
        QStringLiteral("Shows only the pages whose title, address, referrer, IP address or "
                       "visitor number holds the text"));
    field->setToolTip(QStringLiteral("Find visitor (Ctrl+F)"));
    connect(field, &QLineEdit::textChanged, list, &PageListView::SetFilter);

    // A shortcut of the window, but only while this view is shown: hidden widgets take none.
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, field, [this] {
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(field);
    layout->addWidget(list, 1);
    setFocusProxy(list);
}

} // namespace olvex
