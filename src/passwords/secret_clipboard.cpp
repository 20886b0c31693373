#include "passwords/secret_clipboard.h"

#include "app/main_window.h"
#include "passwords/secure_memory.h"
#include "platform/platform.h"

namespace domora {

namespace {

// What was copied, to tell it from whatever the user copied since.
SecretText g_copied;
bool g_waiting = false;

void on_timer(int id) {
    if (id == kSecretClipboardTimer) clear_secret_clipboard();
}

}  // namespace

void copy_secret(const std::string& text) {
    Platform& os = platform();
    os.set_secret_clipboard_text(text);
    g_copied.assign(text);
    g_waiting = true;
    set_timer_handler(on_timer);
    // Set again, the timer counts from this copy.
    os.kill_timer(kSecretClipboardTimer);
    os.set_timer(kSecretClipboardTimer, kSecretClipboardMs);
}

void clear_secret_clipboard() {
    if (!g_waiting) return;
    Platform& os = platform();
    os.kill_timer(kSecretClipboardTimer);
    std::string now = os.clipboard_text();
    if (now == g_copied.view()) os.clear_clipboard();
    wipe(now);
    g_copied.clear();
    g_waiting = false;
}

bool secret_on_clipboard() { return g_waiting; }

}  // namespace domora
