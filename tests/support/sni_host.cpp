// A small StatusNotifier watcher and host for the desktop tests, standing in for a panel:
//
//   sni-host watch            own org.kde.StatusNotifierWatcher and be its host until killed
//   sni-host items            print the registered items of running programs, one a line;
//                             fails where there is none
//   sni-host activate [TOKEN] a click on the first item's icon (Activate), handing the
//                             item an xdg-activation token first as Wayland panels do
//   sni-host menu             print the entries of the first item's menu: "label" or "-label"
//                             (disabled), after the AboutToShow a panel sends first
//   sni-host click LABEL      choose that entry of the menu
//   sni-host popup            show the menu as a panel would, until killed (screenshots)
//   sni-host window TITLE     a plain window of another program, to take the focus
//   sni-host editor TITLE FILE  another program's text box; FILE holds what it received
//   sni-host icon PICTURE...  print the first item's Status and icon names, and which of the
//                             PICTUREs (SVG files) the host draws now: the icon, or while
//                             the item asks for attention its attention icon, with any
//                             count badge in its lower right corner left out; fails where
//                             it draws none of them
//   sni-host keyboard IN OUT  a remote desktop session of GNOME's Mutter, as a remote desktop
//                             program has, until killed: types what comes through the FIFO
//                             IN (\n: Enter) up to each NUL, then writes a line to the FIFO OUT
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
    Q_PROPERTY(int ProtocolVersion READ Protocol)

public:
    explicit Watcher(QDBusConnection bus) : bus(bus) {
        owners = new QDBusServiceWatcher(this);
        owners->setConnection(bus);
        owners->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(owners, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& s) {
            // A copy: removing from the list being walked corrupted the heap.
            const QStringList registered = items;
            for (const QString& item : registered) {
                if (item.section(QLatin1Char('/'), 0, 0) == s) {
                    items.removeAll(item);
                    emit StatusNotifierItemUnregistered(item);
                }
            }
            owners->removeWatchedService(s);
        });
    }
    QStringList Items() const { return items; }
    bool HostRegistered() const { return true; }
    int Protocol() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
        // Either a bus name (the item at /StatusNotifierItem) or a path on the caller.
        QString service = serviceOrPath;
        QString path = QStringLiteral("/StatusNotifierItem");
        if (serviceOrPath.startsWith(QLatin1Char('/'))) {
            service = message.service();
            path = serviceOrPath;
        }
        const QString item = service + path;
        if (!items.contains(item)) {
            items << item;
            owners->addWatchedService(service);
            emit StatusNotifierItemRegistered(item);
        }
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection bus;
    QDBusServiceWatcher* owners = nullptr;
    QStringList items;
};

QDBusMessage CallOn(const QString& service, const QString& path, const QString& interface,
                    const QString& method, const QVariantList& args = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
}

QVariant Property(const QString& service, const QString& path, const QString& interface,
                  const QString& name) {
    const QDBusMessage reply =
        CallOn(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
               QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

// The first registered item whose program still runs, as service and path. Watchers write
// an item as SERVICE/PATH, or SERVICE@/PATH (GNOME Shell's extension, which also keeps items
// of programs that ended).
bool FirstItem(QString& service, QString& path) {
    const QStringList items = Property(kWatcherService, kWatcherPath, kWatcherService,
                                       QStringLiteral("RegisteredStatusNotifierItems"))
                                  .toStringList();
    for (const QString& item : items) {
        const int slash = item.indexOf(QLatin1Char('/'));
        service = item.left(slash);
        if (service.endsWith(QLatin1Char('@')))
            service.chop(1);
        path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
        if (QDBusConnection::sessionBus().interface()->isServiceRegistered(service))
            return true;
    }
    return false;
}

struct Entry {
    int id = 0;
    QString label;
    QByteArray iconData; // PNG
    bool enabled = true;
    bool separator = false;
};

void ReadLayout(const QDBusArgument& argument, QList<Entry>& entries, bool top) {
    Entry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    entry.label = properties.value(QStringLiteral("label")).toString();
    entry.label.remove(QLatin1Char('_'));
    entry.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    entry.iconData = properties.value(QStringLiteral("icon-data")).toByteArray();
    entry.separator =
        properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
    if (properties.value(QStringLiteral("visible"), true).toBool() && !top)
        entries << entry;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        ReadLayout(qvariant_cast<QDBusArgument>(child.variant()), entries, false);
    }
    argument.endArray();
    argument.endStructure();
}

// The item's menu entries; empty when there is no item or menu.
QList<Entry> MenuEntries(QString& service, QString& menuPath) {
    QString path;
    if (!FirstItem(service, path))
        return {};
    menuPath = qvariant_cast<QDBusObjectPath>(
                   Property(service, path, kItemInterface, QStringLiteral("Menu")))
                   .path();
    if (menuPath.isEmpty())
        return {};
    CallOn(service, menuPath, kMenuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply = CallOn(service, menuPath, kMenuInterface,
                                      QStringLiteral("GetLayout"), {0, -1, QStringList()});
    QList<Entry> entries;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2)
        ReadLayout(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), entries, true);
    return entries;
}

void Click(const QString& service, const QString& menuPath, int id) {
    CallOn(service, menuPath, kMenuInterface, QStringLiteral("Event"),
           {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
}

// The largest image of the item's IconPixmap (or AttentionIconPixmap): ARGB32 in network
// byte order.
QIcon IconPixmap(const QString& service, const QString& path,
                 const QString& property = QStringLiteral("IconPixmap")) {
    const QVariant value = Property(service, path, kItemInterface, property);
    const QDBusArgument argument = qvariant_cast<QDBusArgument>(value);
    QImage best;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        argument.beginStructure();
        argument >> width >> height >> bytes;
        argument.endStructure();
        if (width <= 0 || height <= 0 || bytes.size() < width * height * 4 || width < best.width())
            continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
        for (int i = 0; i < width * height; ++i, data += 4)
            reinterpret_cast<QRgb*>(image.bits())[i] = qRgba(data[1], data[2], data[3], data[0]);
        best = image;
    }
    argument.endArray();
    return best.isNull() ? QIcon() : QIcon(QPixmap::fromImage(best));
}

// How far apart two pictures of the same size look: the mean difference of their channels
// (0-255) over all but the lower right corner, where the count badge goes.
double Distance(const QImage& a, const QImage& b) {
    const int side = a.width(), corner = side * 38 / 100;
    double sum = 0;
    int pixels = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (x >= corner && y >= corner)
                continue;
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q)) + std::abs(qAlpha(p) - qAlpha(q));
            ++pixels;
        }
    }
    return sum / (4.0 * pixels);
}

// What a host draws for the first item: its icon, or while it asks for attention its
// attention icon; a name is a file or a theme icon, else the pixmaps count.
int CheckIcon(const QStringList& pictures) {
    QString service, path;
    if (!FirstItem(service, path))
        return 1;
    const auto text = [&](const char* name) {
        return Property(service, path, kItemInterface, QLatin1String(name)).toString();
    };
    const QString status = text("Status");
    const bool attention = status == QLatin1String("NeedsAttention");
    const QString name = attention ? text("AttentionIconName") : text("IconName");
    std::printf("Status=%s IconName=%s AttentionIconName=%s OverlayIconName=%s\n",
                qPrintable(status), qPrintable(text("IconName")),
                qPrintable(text("AttentionIconName")), qPrintable(text("OverlayIconName")));
    QIcon drawn;
    if (!name.isEmpty())
        drawn = QFile::exists(name) ? QIcon(name) : QIcon::fromTheme(name);
    if (drawn.isNull()) {
        drawn = IconPixmap(service, path,
                           attention ? QStringLiteral("AttentionIconPixmap")
                                     : QStringLiteral("IconPixmap"));
    }
    if (drawn.isNull()) {
        std::puts("drawn: nothing");
        return 1;
    }
    constexpr int kSide = 64;
    // A small picture stretched carries its own blur: anything under a fifth is the same.
    constexpr double kSame = 0.2 * 255;
    const QImage image = drawn.pixmap(kSide, kSide)
                             .toImage()
                             .scaled(kSide, kSide)
                             .convertToFormat(QImage::Format_ARGB32);
    QString best = QStringLiteral("other");
    double nearest = 255;
    for (const QString& picture : pictures) {
        const QImage reference =
            QIcon(picture).pixmap(kSide, kSide).toImage().convertToFormat(QImage::Format_ARGB32);
        if (reference.size() != image.size())
            continue;
        const double distance = Distance(image, reference);
        if (distance < nearest) {
            nearest = distance;
            best = QFileInfo(picture).fileName();
        }
    }
    std::printf("drawn: %s (%.1f)\n", qPrintable(nearest < kSame ? best : QStringLiteral("other")),
                nearest);
    return nearest < kSame ? 0 : 1;
}

// The keysym of a character: Latin-1 as it is, the rest of Unicode offset.
quint32 Keysym(QChar c) {
    if (c == QLatin1Char('\n'))
        return 0xff0d; // Return
    if (c == QLatin1Char('\t'))
        return 0xff09;
    return c.unicode() < 0x100 ? c.unicode() : 0x01000000u | c.unicode();
}

// Mutter takes a session's input only from the connection that made the session, and the
// seat has a keyboard only while a session lives: one session serves every text.
int MutterKeyboard(const QString& in, const QString& out) {
    const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    const QDBusMessage made = CallOn(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                     service, QStringLiteral("CreateSession"));
    if (made.type() != QDBusMessage::ReplyMessage || made.arguments().isEmpty()) {
        std::fprintf(stderr, "sni-host: no remote desktop session: %s\n",
                     qPrintable(made.errorMessage()));
        return 1;
    }
    const QString session = qvariant_cast<QDBusObjectPath>(made.arguments().constFirst()).path();
    const QString interface = service + QStringLiteral(".Session");
    const auto call = [&](const char* method, const QVariantList& args = {}) {
        const QDBusMessage reply = CallOn(service, session, interface, QLatin1String(method), args);
        if (reply.type() == QDBusMessage::ErrorMessage)
            std::fprintf(stderr, "sni-host: %s: %s\n", method, qPrintable(reply.errorMessage()));
        return reply.type() == QDBusMessage::ReplyMessage;
    };
    // Mutter makes the keyboard with the first key, and programs learn of it a moment later:
    // a Shift goes first, which types nothing.
    constexpr quint32 kShift = 0xffe1;
    if (!call("Start") || !call("NotifyKeyboardKeysym", {kShift, true}) ||
        !call("NotifyKeyboardKeysym", {kShift, false}))
        return 1;
    // Both ends stay open here, so neither side sees an end between texts.
    QFile input(in), output(out);
    if (!input.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        !output.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return 1;
    std::puts("typing");
    std::fflush(stdout);
    QByteArray text;
    char c = 0;
    while (input.getChar(&c)) {
        if (c != '\0') {
            text += c;
            continue;
        }
        bool typed = true;
        for (const QChar key : QString::fromUtf8(text)) {
            typed = typed && call("NotifyKeyboardKeysym", {Keysym(key), true}) &&
                    call("NotifyKeyboardKeysym", {Keysym(key), false});
        }
        text.clear();
        output.write(typed ? "typed\n" : "failed\n");
    }
    return 0;
}

int Usage() {
    std::fputs("usage: sni-host watch|items|activate [TOKEN]|menu|click LABEL|popup|window TITLE|"
               "editor TITLE FILE|icon PICTURE...|keyboard IN OUT\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty())
        return Usage();
    const QString command = args.constFirst();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() && command != QLatin1String("window")) {
        std::fputs("sni-host: no session bus\n", stderr);
        return 1;
    }

    if (command == QLatin1String("watch")) {
        Watcher watcher(bus);
        bus.registerObject(kWatcherPath, &watcher,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                               QDBusConnection::ExportAllProperties);
        if (!bus.registerService(kWatcherService)) {
            std::fputs("sni-host: the watcher name is taken\n", stderr);
            return 1;
        }
        bus.registerService(QStringLiteral("org.kde.StatusNotifierHost-%1")
                                .arg(QCoreApplication::applicationPid()));
        emit watcher.StatusNotifierHostRegistered();
        std::puts("watching");
        std::fflush(stdout);
        return QApplication::exec();
    }
    if (command == QLatin1String("items")) {
        // Only the live ones; none is a failure.
        const QStringList items = Property(kWatcherService, kWatcherPath, kWatcherService,
                                           QStringLiteral("RegisteredStatusNotifierItems"))
                                      .toStringList();
        int live = 0;
        for (const QString& item : items) {
            QString service = item.section(QLatin1Char('/'), 0, 0);
            if (service.endsWith(QLatin1Char('@')))
                service.chop(1);
            if (bus.interface()->isServiceRegistered(service)) {
                std::printf("%s\n", qPrintable(item));
                ++live;
            }
        }
        return live > 0 ? 0 : 1;
    }
    if (command == QLatin1String("activate")) {
        QString service, path;
        if (!FirstItem(service, path))
            return 1;
        if (args.size() == 2)
            CallOn(service, path, kItemInterface, QStringLiteral("ProvideXdgActivationToken"),
                   {args.at(1)});
        const QDBusMessage reply =
            CallOn(service, path, kItemInterface, QStringLiteral("Activate"), {0, 0});
        return reply.type() == QDBusMessage::ReplyMessage ? 0 : 1;
    }
    if (command == QLatin1String("icon") && args.size() >= 2)
        return CheckIcon(args.mid(1));
    if (command == QLatin1String("keyboard") && args.size() == 3)
        return MutterKeyboard(args.at(1), args.at(2));
    QString service, menuPath;
    if (command == QLatin1String("menu")) {
        const QList<Entry> entries = MenuEntries(service, menuPath);
        for (const Entry& entry : entries) {
            if (!entry.separator)
                std::printf("%s%s\n", entry.enabled ? "" : "-", qPrintable(entry.label));
        }
        return entries.isEmpty() ? 1 : 0;
    }
    if (command == QLatin1String("click") && args.size() == 2) {
        for (const Entry& entry : MenuEntries(service, menuPath)) {
            if (entry.label == args.at(1) && entry.enabled) {
                Click(service, menuPath, entry.id);
                return 0;
            }
        }
        std::fprintf(stderr, "sni-host: no enabled entry \"%s\"\n", qPrintable(args.at(1)));
        return 1;
    }
    if (command == QLatin1String("popup")) {
        const QList<Entry> entries = MenuEntries(service, menuPath);
        if (entries.isEmpty())
            return 1;
        // A panel along the top of the screen with the item's icon at its right end.
        QString itemPath;
        FirstItem(service, itemPath);
        const QString iconName =
            Property(service, itemPath, kItemInterface, QStringLiteral("IconName")).toString();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QWidget panel(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        panel.setObjectName(QStringLiteral("panel"));
        panel.setStyleSheet(QStringLiteral("background: #2e3440; color: white;"));
        panel.setGeometry(screen.x(), screen.y(), screen.width(), 28);
        auto* clock = new QLabel(QStringLiteral("  Panel"), &panel);
        clock->setGeometry(0, 0, 200, 28);
        auto* icon = new QLabel(&panel);
        icon->setGeometry(screen.width() - 30, 2, 24, 24);
        QIcon picture = QFile::exists(iconName) ? QIcon(iconName) : QIcon::fromTheme(iconName);
        if (picture.isNull())
            picture = IconPixmap(service, itemPath);
        if (!picture.isNull())
            icon->setPixmap(picture.pixmap(22, 22));
        else
            icon->setText(QStringLiteral("\u25cf"));
        panel.show();
        QMenu menu;
        for (const Entry& entry : entries) {
            if (entry.separator) {
                menu.addSeparator();
                continue;
            }
            QAction* action = menu.addAction(entry.label);
            QPixmap image;
            if (!entry.iconData.isEmpty() && image.loadFromData(entry.iconData, "PNG"))
                action->setIcon(QIcon(image));
            action->setEnabled(entry.enabled);
        }
        QTimer::singleShot(300, &menu, [&] {
            menu.popup(QPoint(screen.right() - menu.sizeHint().width(), screen.y() + 28));
        });
        return QApplication::exec();
    }
    if (command == QLatin1String("window") && args.size() == 2) {
        QWidget window;
        window.setWindowTitle(args.at(1));
        window.resize(400, 300);
        window.show();
        return QApplication::exec();
    }
    if (command == QLatin1String("editor") && args.size() == 3) {
        QPlainTextEdit editor;
        editor.setWindowTitle(args.at(1));
        editor.resize(400, 200);
        const QString file = args.at(2);
        QObject::connect(&editor, &QPlainTextEdit::textChanged, &editor, [&] {
            QSaveFile out(file);
            if (out.open(QIODevice::WriteOnly)) {
                out.write(editor.toPlainText().toUtf8());
                out.commit();
            }
        });
        editor.show();
        return QApplication::exec();
    }
    return Usage();
}

#include "sni_host.moc"
