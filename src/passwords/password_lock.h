// Locking the passwords: after the time the user chose without a key,
// click or wheel, or when the desktop session locks, the decrypted image,
// the key and the master password are wiped, and the Passwords screen asks
// for the master password again. While a popup is open the lock waits for
// it; on the Passwords screen its popups are closed as cancelled first, so
// that no form goes on showing what it holds.
#pragma once

namespace domora {

inline constexpr int kPasswordLockTimer = 404;
inline constexpr int kPasswordLockCheckMs = 5000;

// Starts the idle check and the watch on the session's lock; stop undoes it.
void start_password_lock();
void stop_password_lock();

// Wipes everything that opens the passwords, now.
void lock_passwords();
// A lock is waiting for the open popups to close.
bool password_lock_pending();
// True once after each lock: the Passwords screen then redraws and asks again.
bool take_password_lock_notice();

// The check the timer runs; the session lock arrives through it too.
void on_password_lock_timer(int id);

}  // namespace domora
