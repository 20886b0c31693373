// The places the file browser offers above every folder: the root, the home
// folder, the user's own Desktop, Documents, Downloads and Pictures folders
// under the names the desktop gave them, and mounted media and network shares.
#pragma once

#include <string>
#include <vector>

#include "ui/file_browser.h"

namespace domora {

// The folder the user's user-dirs.dirs names for key (XDG_DESKTOP_DIR, ...),
// or home + fallback when it names none; ends with '/'.
std::string user_folder(const std::string& key, const std::string& fallback);

// Only places that exist are listed, each once.
std::vector<BrowserEntry> browser_places();

}  // namespace domora
