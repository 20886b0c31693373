// The accessibility service of the real backend: the description of the
// widgets becomes Qt accessible objects (no QObject per widget) under the
// main window, which Qt's bridge speaks to screen readers over AT-SPI.
// Free of Qt so that main() stays plain.
#pragma once

#include <memory>

#include "platform/accessibility.h"

namespace domora {

// Needs the application object that make_qt_platform creates.
std::unique_ptr<AccessibilityService> make_qt_accessibility_service();

}  // namespace domora
