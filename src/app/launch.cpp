// Opening web pages and starting e-mails the Linux way: the browser is looked
// up from the desktop's settings, the environment and the usual install
// places, every lookup written to the status log; mail goes through xdg-email.
#include "app/launch.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/files.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

// Kept for the whole run, and used again when a later search finds nothing.
std::string g_chosen_browser;

bool is_program(const std::string& path) {
    FileInfo info;
    return !path.empty() && platform().sys_stat(path, info) && !info.is_folder && (info.mode & 0111) != 0;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// A program name as the shell would find it along PATH; a path stays as it is.
std::string find_program(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return name;
    std::string path = platform().env("PATH");
    if (path.empty()) path = "/usr/local/bin:/usr/bin:/bin";
    for (const std::string& folder : split(path, ':')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + name;
        if (is_program(candidate)) return candidate;
    }
    return {};
}

// The program of a desktop entry's Exec line: its first word, quoted or not.
std::string exec_program(const std::string& entry) {
    for (const std::string& raw : split(entry, '\n')) {
        std::string line = raw;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Exec=", 0) != 0) continue;
        std::string command = trim(line.substr(5));
        if (!command.empty() && command[0] == '"') {
            const std::size_t close = command.find('"', 1);
            return close == std::string::npos ? std::string() : command.substr(1, close - 1);
        }
        return command.substr(0, command.find(' '));
    }
    return {};
}

// The folders that hold desktop entries, most personal first.
std::vector<std::string> application_folders() {
    std::vector<std::string> folders;
    std::string home = platform().env("XDG_DATA_HOME");
    if (home.empty() || home[0] != '/') {
        const std::string user = platform().env("HOME");
        home = user.empty() ? std::string() : user + "/.local/share";
    }
    if (!home.empty()) folders.push_back(home + "/applications/");
    std::string dirs = platform().env("XDG_DATA_DIRS");
    if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
    for (const std::string& dir : split(dirs, ':')) {
        if (!dir.empty() && dir[0] == '/') folders.push_back(dir + "/applications/");
    }
    return folders;
}

// The default browser that the desktop's settings name.
std::string desktop_default_browser() {
    std::string output;
    const bool ok = platform().program_output({"xdg-settings", "get", "default-web-browser"}, output);
    status_log_write("xdg-settings: " + log_number(ok ? 0 : 1));
    const std::string desktop_id = trim(split(output, '\n')[0]);
    status_log_write("User Choice: " + desktop_id);
    if (!ok || desktop_id.empty() || desktop_id.find('/') != std::string::npos) return {};
    for (const std::string& folder : application_folders()) {
        Result<std::string> entry = read_whole_file(folder + desktop_id);
        if (entry) return find_program(exec_program(entry.value()));
    }
    return {};
}

std::string first_existing(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (is_program(path)) return path;
    }
    return {};
}

const char* const kReplacements[][2] = {
    {"%", "%25"}, {" ", "%20"}, {"<", "%3C"}, {">", "%3E"}, {"#", "%23"}, {"{", "%7B"}, {"}", "%7D"},
    {"|", "%7C"}, {"\\", "%5C"}, {"^", "%5E"}, {"~", "%7E"}, {"[", "%5B"}, {"]", "%5D"}, {"`", "%60"},
};

// Starts a program with one argument and logs how that went.
void run_program(const std::string& file, const std::string& parameter) {
    status_log_write("Open Program (File): " + file);
    status_log_write("Open Program (Parameter): " + parameter);
    const int rc = platform().start_program({file, parameter});
    if (rc == 0) {
        status_log_write("Open Program: Successful");
    } else {
        status_log_write("Open Program: " + log_number(rc) + " - " + std::strerror(rc));
    }
}

}  // namespace

void forget_chosen_browser() { g_chosen_browser.clear(); }

std::string escape_web_address(const std::string& address) {
    std::string text;
    for (char c : address) {
        if (c != '"') text += c;
    }
    text = trim(text);
    for (const auto& pair : kReplacements) {
        std::string out;
        for (char c : text) {
            if (c == pair[0][0]) {
                out += pair[1];
            } else {
                out += c;
            }
        }
        text = out;
    }
    return text;
}

void open_web_page(const std::string& address) {
    status_log_write("\r\nOpen Web Browser\r\n========================");
    const std::string url = trim(address);
    if (url.empty()) {
        status_log_write("No Web Page to Open");
        show_message("No Web Page to Open?");
        return;
    }
    // Every lookup is made and logged, whatever it finds.
    const std::string default_browser = desktop_default_browser();
    const std::string from_environment = find_program(trim(split(platform().env("BROWSER"), ':')[0]));
    const std::string alternative = first_existing({"/usr/bin/x-www-browser"});
    const std::string firefox = first_existing({"/usr/bin/firefox", "/usr/bin/firefox-esr"});
    const std::string chrome = first_existing({"/usr/bin/google-chrome", "/usr/bin/google-chrome-stable", "/usr/bin/chromium"});
    const std::string edge = first_existing({"/usr/bin/microsoft-edge", "/usr/bin/microsoft-edge-stable"});
    const std::string explorer;  // none on this system; the line stays for the reader of the log
    status_log_write("Default Browser: " + default_browser);
    status_log_write("Association for .htm: " + from_environment);
    status_log_write("Association for .html: " + alternative);
    status_log_write("Firefox: " + firefox);
    status_log_write("Chrome: " + chrome);
    status_log_write("Edge: " + edge);
    status_log_write("Internet Explorer: " + explorer);

    const std::pair<const std::string*, const char*> order[] = {
        {&default_browser, "USING DEFAULT BROWSER"},  {&from_environment, "USING HTM FILE ASSOCIATION"},
        {&alternative, "USING HTML FILE ASSOCIATION"}, {&chrome, "USING BRUTE FORCE CHROME"},
        {&edge, "USING BRUTE FORCE MICROSOFT EDGE"},   {&firefox, "USING BRUTE FORCE FIREFOX"},
        {&explorer, "USING BRUTE FORCE INTERNET EXPLORER"},
    };
    for (const auto& [candidate, reason] : order) {
        if (!is_program(*candidate)) continue;
        status_log_write(std::string("\r\n") + reason);
        g_chosen_browser = *candidate;
        break;
    }
    status_log_write(g_chosen_browser + "\r\n");
    if (g_chosen_browser.empty()) {
        show_message(std::string(kProductName) + " could not locate your web browser");
        return;
    }
    run_program(g_chosen_browser, escape_web_address(url));
}

int send_email(const std::string& recipient, const std::string& subject, const std::string& text,
               const std::string& attachment) {
    // The mail program shows the message for the user to finish and send.
    const std::string mailer = find_program("xdg-email");
    if (mailer.empty()) return 2;
    std::vector<std::string> argv = {mailer};
    if (!trim(subject).empty()) {
        argv.push_back("--subject");
        argv.push_back(trim(subject));
    }
    if (!text.empty()) {
        argv.push_back("--body");
        argv.push_back(text);
    }
    if (!trim(attachment).empty()) {
        argv.push_back("--attach");
        argv.push_back(trim(attachment));
    }
    if (!trim(recipient).empty()) argv.push_back(trim(recipient));
    return platform().start_program(argv) == 0 ? 0 : 2;
}

}  // namespace domora
