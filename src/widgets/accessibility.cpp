#include "accessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace olvex {

namespace {

const char* const kRoleProperty = "olvexAccessibleRole";
const QString kAnnouncerName = QStringLiteral("olvexAnnouncement");

QAccessibleInterface* RoleFactory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType())
        return nullptr;
    const QVariant role = object->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object),
                                 static_cast<QAccessible::Role>(role.toInt()));
}

QWidget* Announcer(QWidget& window, bool create) {
    for (QWidget* child : window.findChildren<QWidget*>(kAnnouncerName, Qt::FindDirectChildrenOnly))
        return child;
    if (!create)
        return nullptr;
    // Nothing to see: it only carries the text for the bus. Not in any layout, no size.
    auto* announcer = new QWidget(&window);
    announcer->setObjectName(kAnnouncerName);
    announcer->setFocusPolicy(Qt::NoFocus);
    announcer->setAttribute(Qt::WA_TransparentForMouseEvents);
    announcer->setGeometry(0, 0, 0, 0);
    SetAccessibleRole(*announcer, QAccessible::Notification);
    return announcer;
}

} // namespace

void SetAccessibleRole(QWidget& widget, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(RoleFactory);
        return true;
    }();
    Q_UNUSED(installed);
    widget.setProperty(kRoleProperty, static_cast<int>(role));
    // An interface made before the role was known keeps the class's role: it goes, and the
    // next question makes ours.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&widget);
        made && made->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void AnnouncePolitely(QWidget& window, const QString& text) {
    if (text.isEmpty())
        return;
    QWidget* announcer = Announcer(window, true);
    announcer->setAccessibleName(text);
    announcer->setAccessibleDescription(text);
    // Shown anew for each text: screen readers present a notification when it shows.
    announcer->hide();
    announcer->show();
    QAccessibleEvent alert(announcer, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

QString LastAnnouncement(const QWidget& window) {
    QWidget* announcer = Announcer(const_cast<QWidget&>(window), false);
    return announcer ? announcer->accessibleName() : QString();
}

} // namespace olvex
