// The installed font families as fontconfig reports them through Qt.
#pragma once

#include <memory>

#include "platform/font_families.h"

namespace domora {

// Needs the application object that make_qt_platform creates.
std::unique_ptr<FontCatalogue> make_qt_font_catalogue();

}  // namespace domora
