#include "xembed_tray.h"

#include <QByteArray>
#include <QGuiApplication>

// Last: Xlib's macros clash with Qt's names.
#include <X11/Xlib.h>

namespace olvex {

bool XEmbedTrayPresent() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.constData(), False);
    return XGetSelectionOwner(display, selection) != 0;
}

} // namespace olvex
