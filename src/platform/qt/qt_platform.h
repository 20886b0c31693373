// The Qt 6 backend. This header is free of Qt so that main() stays plain.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace domora {

// Creates the application object; argc and argv must outlive the platform.
std::unique_ptr<Platform> make_qt_platform(int& argc, char** argv);

}  // namespace domora
