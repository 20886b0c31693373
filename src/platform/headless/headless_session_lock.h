// The session lock for tests: a test locks the session when it likes.
#pragma once

#include "platform/session_lock.h"

namespace domora {

class HeadlessSessionLock : public SessionLockWatch {
public:
    void watch(void (*on_lock)()) override { m_on_lock = on_lock; }
    // What the desktop does when the user locks the screen.
    void lock_session() {
        if (m_on_lock) m_on_lock();
    }
    bool watched() const { return m_on_lock != nullptr; }

private:
    void (*m_on_lock)() = nullptr;
};

}  // namespace domora
