// The desktop session's lock as D-Bus tells it: logind's Lock signal on
// this process's session (system bus) and ActiveChanged(true) of the
// screensaver (session bus). A bus or service that is missing only means
// that no lock is ever reported.
#pragma once

#include <memory>

#include "platform/session_lock.h"

namespace domora {

// Needs the application object that make_qt_platform creates.
std::unique_ptr<SessionLockWatch> make_qt_session_lock_watch();

}  // namespace domora
