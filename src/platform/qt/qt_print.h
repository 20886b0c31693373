// The Qt print service: CUPS destinations through Qt's print support, and
// "Save as PDF" through Qt's PDF engine. Free of Qt so that main() stays plain.
#pragma once

#include <memory>

#include "platform/print.h"

namespace domora {

// Needs the application object that make_qt_platform creates.
std::unique_ptr<PrintService> make_qt_print_service();

}  // namespace domora
