// The pointer services of this session, chosen at run time.

#include <QGuiApplication>

#include "platform/x11/X11PointerPressMonitor.h"
#include "services/PointerPressMonitor.h"

namespace ivra {

std::unique_ptr<PointerPressMonitor> createPointerPressMonitor() {
    // Only an X server tells one client about clicks in other clients' windows.
    if (qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        return platform::X11PointerPressMonitor::create();
    }
    return nullptr;
}

} // namespace ivra
