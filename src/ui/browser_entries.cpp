// What the file browser lists: the places to start from (browser_places.h)
// and a folder's entries, sorted; and the deletion of a whole folder tree.
#include "ui/file_browser.h"

#include <algorithm>

#include "app/startup.h"
#include "app/text.h"
#include "platform/platform.h"
#include "ui/browser_places.h"

namespace domora {

namespace {

std::string parent_of(const std::string& folder) {
    if (folder.size() <= 1) return "/";
    const std::size_t slash = folder.rfind('/', folder.size() - 2);
    return slash == std::string::npos ? std::string("/") : folder.substr(0, slash + 1);
}

// A name written all in capitals is shown as "Readme.txt"; others as they are.
std::string shown_name(const std::string& name) {
    bool has_letter = false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (lower_byte(b) != b) has_letter = true;
        if (upper_byte(b) != b) return name;  // a small letter: leave it alone
    }
    if (!has_letter) return name;
    std::string out = to_lower(name);
    out[0] = name[0];
    return out;
}

int group_of(BrowserEntry::Kind kind) { return static_cast<int>(kind); }

// True when the name's extension (after its last dot, in any case) is one of
// extensions, or when there are none.
bool has_extension(const std::string& name, const std::vector<std::string>& extensions) {
    if (extensions.empty()) return true;
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string extension = to_lower(name.substr(dot + 1));
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

}  // namespace

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool browser_entries(const std::string& folder, std::vector<BrowserEntry>& entries, const std::vector<std::string>& extensions) {
    entries = browser_places();
    if (folder.empty()) return true;
    const std::string here = with_slash(folder);
    std::vector<std::string> names;
    const bool readable = platform().list_folder(here, names);
    std::vector<BrowserEntry> items;
    if (here != "/") items.push_back(BrowserEntry{BrowserEntry::Parent, "..", parent_of(here), "..", 0});
    for (const std::string& name : names) {
        if (name.empty() || name[0] == '.') continue;
        FileInfo info;
        if (!platform().sys_stat(here + name, info)) continue;  // a dangling link
        if (!info.is_folder && !has_extension(name, extensions)) continue;
        BrowserEntry e;
        e.kind = info.is_folder ? BrowserEntry::Folder : BrowserEntry::File;
        e.name = name;
        e.text = shown_name(name);
        e.path = info.is_folder ? here + name + "/" : here + name;
        e.size = info.size;
        items.push_back(e);
    }
    std::stable_sort(items.begin(), items.end(), [](const BrowserEntry& a, const BrowserEntry& b) {
        if (group_of(a.kind) != group_of(b.kind)) return group_of(a.kind) < group_of(b.kind);
        return compare_upper(a.name, b.name) < 0;
    });
    entries.insert(entries.end(), items.begin(), items.end());
    return readable;
}

bool DeleteTree(const std::string& folder) {
    const std::string here = with_slash(folder);
    std::vector<std::string> names;
    bool all = platform().list_folder(here, names);
    for (const std::string& name : names) {
        FileInfo info;
        const std::string path = here + name;
        // A link to a folder is removed as a link, never followed.
        const bool is_folder = platform().sys_stat(path, info) && info.is_folder && platform().sys_unlink(path) != 0;
        if (is_folder) {
            all = DeleteTree(path) && all;
        } else if (!info.is_folder) {
            all = (platform().sys_unlink(path) == 0) && all;
        }
    }
    return platform().sys_rmdir(here.substr(0, here.size() - 1)) == 0 && all;
}

}  // namespace domora
