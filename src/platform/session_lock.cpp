#include "platform/session_lock.h"

namespace domora {

namespace {

class NoSessionLock : public SessionLockWatch {
public:
    void watch(void (*)()) override {}
};

NoSessionLock g_none;
SessionLockWatch* g_watch = nullptr;

}  // namespace

SessionLockWatch& session_lock_watch() { return g_watch ? *g_watch : g_none; }

void set_session_lock_watch(SessionLockWatch* watch) { g_watch = watch; }

}  // namespace domora
