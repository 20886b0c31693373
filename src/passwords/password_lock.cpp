#include "passwords/password_lock.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/password_store.h"
#include "passwords/secret_clipboard.h"
#include "platform/platform.h"
#include "platform/session_lock.h"

namespace domora {

namespace {

bool g_session_locked = false;
bool g_pending = false;
bool g_notice = false;

bool holding_secrets() {
    const PasswordStore& store = password_store();
    return !store.image.empty() || !store.master.empty() || !store.key.empty();
}

bool idle_too_long() {
    const int minutes = settings().password_lock_minutes;
    if (minutes <= 0) return false;
    const std::uint64_t now = platform().tick_ms();
    const std::uint64_t last = main_window().last_input_ms;
    return now >= last && now - last >= static_cast<std::uint64_t>(minutes) * 60000u;
}

// Reported from inside the platform's event calls: the lock itself waits
// for the timer event, where the program is between two of its steps.
void on_session_lock() {
    g_session_locked = true;
    platform().post_timer(kPasswordLockTimer);
}

void lock_when_safe(const char* why) {
    MainWindowState& win = main_window();
    if (!win.popup_open) {
        status_log_write(std::string("Passwords Locked: ") + why);
        lock_passwords();
        return;
    }
    g_pending = true;
    // The Passwords screen's popups show records and passwords: they go.
    if (win.current_screen == kScreenPasswords) win.close_popups = true;
}

}  // namespace

void lock_passwords() {
    reset_password_store();
    clear_secret_clipboard();
    g_pending = false;
    g_notice = true;
    MainWindowState& win = main_window();
    win.close_popups = false;
    win.screen_needs_redraw = true;
}

bool password_lock_pending() { return g_pending; }

bool take_password_lock_notice() {
    const bool notice = g_notice;
    g_notice = false;
    return notice;
}

void on_password_lock_timer(int id) {
    if (id != kPasswordLockTimer) return;
    const bool session = g_session_locked;
    g_session_locked = false;
    if (!holding_secrets()) {
        g_pending = false;
        main_window().close_popups = false;
        return;
    }
    if (session) {
        lock_when_safe("the session was locked");
    } else if (g_pending || idle_too_long()) {
        lock_when_safe("no input for a while");
    }
}

void start_password_lock() {
    g_session_locked = g_pending = g_notice = false;
    add_timer_handler(on_password_lock_timer);
    platform().set_timer(kPasswordLockTimer, kPasswordLockCheckMs);
    session_lock_watch().watch(on_session_lock);
}

void stop_password_lock() {
    session_lock_watch().watch(nullptr);
    platform().kill_timer(kPasswordLockTimer);
    g_session_locked = g_pending = false;
}

}  // namespace domora
