// The desktop session's lock: the moment the screen locker takes over, so
// that what the program keeps unlocked can be locked with it. Each backend
// watches in its own way (the Qt one on D-Bus: logind's Lock signal of this
// session and the screensaver's ActiveChanged); until one is set nothing is
// ever reported.
#pragma once

namespace domora {

class SessionLockWatch {
public:
    virtual ~SessionLockWatch() = default;
    // From now on on_lock runs once for every lock of the session, on the
    // user-interface thread, from inside the platform's event calls; null
    // stops the reports.
    virtual void watch(void (*on_lock)()) = 0;
};

SessionLockWatch& session_lock_watch();
void set_session_lock_watch(SessionLockWatch* watch);

}  // namespace domora
