// A value copied from a password record: marked on the clipboard as a
// secret, and taken off again after 30 seconds, or when the program ends,
// if the clipboard still holds it.
#pragma once

#include <string>

namespace domora {

inline constexpr int kSecretClipboardTimer = 403;
inline constexpr int kSecretClipboardMs = 30000;

// Puts the text on the clipboard (as it is; the caller has fixed its line
// ends) and starts the 30 seconds again.
void copy_secret(const std::string& text);
// Clears the clipboard when it still holds the copied text; either way the
// copy is forgotten. Run by the timer and at exit.
void clear_secret_clipboard();
// True while a copied secret waits to be cleared.
bool secret_on_clipboard();

}  // namespace domora
