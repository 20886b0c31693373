#include "ui/browser_places.h"

#include "app/files.h"
#include "app/startup.h"
#include "app/text.h"
#include "platform/cp1252.h"
#include "platform/platform.h"

namespace domora {

namespace {


bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// A value of user-dirs.dirs as the shell would read it: "$HOME/Bilder",
// quotes removed, backslash escapes taken, $HOME expanded; "" when it is
// neither below $HOME nor absolute.
std::string shell_value(const std::string& raw) {
    std::string value = trim(raw);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string plain;
    bool home = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            plain += value[++i];
        } else if (i == 0 && value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            home = true;
            i += 4;
        } else {
            plain += value[i];
        }
    }
    if (home) return home_folder() + (starts_with(plain, "/") ? plain.substr(1) : plain);
    return starts_with(plain, "/") ? plain : std::string();
}

bool is_network(const std::string& type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" ||
           type == "fuse.sshfs" || type == "sshfs" || type == "davfs" || type == "fuse.davfs2" || type == "9p";
}

bool is_optical(const std::string& type) { return type == "iso9660" || type == "udf"; }

// The last name of a folder path ending with '/'.
std::string last_name(const std::string& folder) {
    const std::string bare = folder.substr(0, folder.size() - 1);
    const std::size_t slash = bare.rfind('/');
    return slash == std::string::npos ? bare : bare.substr(slash + 1);
}

}  // namespace

std::string user_folder(const std::string& key, const std::string& fallback) {
    std::string config = platform().env("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') config = home_folder() + ".config";
    Result<std::string> text = read_whole_file(with_slash(config) + "user-dirs.dirs");
    if (text) {
        // The file is UTF-8, like every file name on the system; paths here are Windows-1252.
        const std::string all = utf8_to_cp1252(text.value());
        std::size_t pos = 0;
        while (pos < all.size()) {
            std::size_t end = all.find('\n', pos);
            if (end == std::string::npos) end = all.size();
            const std::string line = trim(all.substr(pos, end - pos));
            pos = end + 1;
            if (!starts_with(line, key + "=")) continue;
            const std::string value = shell_value(line.substr(key.size() + 1));
            if (!value.empty()) return with_slash(value);
        }
    }
    return home_folder() + fallback;
}

std::vector<BrowserEntry> browser_places() {
    std::vector<BrowserEntry> places;
    // What the mount table lists is there; the user's folders may not be.
    auto add = [&](BrowserEntry::Kind kind, const std::string& path, const std::string& text) {
        const std::string folder = with_slash(path);
        for (const BrowserEntry& e : places) {
            if (e.path == folder) return;
        }
        if (kind == BrowserEntry::UserFolder && !folder_exists(folder)) return;
        BrowserEntry e;
        e.kind = kind;
        e.path = folder;
        e.name = last_name(folder);
        e.text = text;
        places.push_back(e);
    };
    auto add_drive = [&](const std::string& path, const std::string& description) {
        add(BrowserEntry::Drive, path, description.empty() ? path : path + "    " + description);
    };
    std::string root_label;
    const std::vector<Platform::MountPoint> mounts = platform().mount_points();
    for (const Platform::MountPoint& m : mounts) {
        if (m.path == "/") root_label = m.label;
    }
    add_drive("/", root_label.empty() ? "" : "(" + root_label + ")");
    const std::string home = home_folder();
    if (home.size() > 1) add_drive(home.substr(0, home.size() - 1), "(Home)");
    struct UserFolder {
        const char* key;
        const char* fallback;
    };
    for (const UserFolder& u : {UserFolder{"XDG_DESKTOP_DIR", "Desktop/"}, UserFolder{"XDG_DOCUMENTS_DIR", "Documents/"},
                                UserFolder{"XDG_DOWNLOAD_DIR", "Downloads/"}, UserFolder{"XDG_PICTURES_DIR", "Pictures/"}}) {
        const std::string folder = user_folder(u.key, u.fallback);
        add(BrowserEntry::UserFolder, folder, last_name(folder));
    }
    for (const Platform::MountPoint& m : mounts) {
        const bool removable = starts_with(m.path, "/media/") || starts_with(m.path, "/run/media/");
        if (is_optical(m.type)) {
            add_drive(m.path, "(CD-ROM)");
        } else if (is_network(m.type)) {
            add_drive(m.path, "(Network Drive)");
        } else if (removable) {
            add_drive(m.path, "(Removable Disk)");
        } else if (starts_with(m.path, "/mnt/")) {
            add_drive(m.path, m.label.empty() ? "" : "(" + m.label + ")");
        }
    }
    return places;
}

}  // namespace domora
