#include "info_tips.h"

#include "message_box.h"

#include <QAbstractItemDelegate>
#include <QHelpEvent>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QTreeView>

namespace olvex {

namespace {

class InfoTipFilter : public QObject {
public:
    explicit InfoTipFilter(QTreeView& view)
        : QObject(&view), view(view), viewport(view.viewport()) {}

    // The viewport's last events arrive while the view is half destroyed: only a tooltip
    // event may touch the view.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || watched != viewport)
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = InfoTipAt(view, help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, view.viewport(),
                               view.visualRect(view.indexAt(help->pos())));
        }
        return true;
    }

private:
    QTreeView& view;
    QObject* viewport;
};

} // namespace

void InstallInfoTips(QTreeView& view) {
    view.viewport()->installEventFilter(new InfoTipFilter(view));
}

QString InfoTipAt(const QTreeView& view, QPoint pos) {
    const QModelIndex index = view.indexAt(pos);
    if (!index.isValid())
        return {};
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return {};
    QStyleOptionViewItem option;
    option.initFrom(view.viewport());
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.decorationSize = view.iconSize();
    option.textElideMode = view.textElideMode();
    const QAbstractItemDelegate* delegate = view.itemDelegateForIndex(index);
    const int needed = delegate ? delegate->sizeHint(option, index).width() : 0;
    if (needed <= view.visualRect(index).width())
        return {};
    return PlainToolTip(text);
}

} // namespace olvex
