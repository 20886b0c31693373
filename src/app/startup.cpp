#include "app/startup.h"

#include "app/files.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "app/text.h"
#include "app/update_check.h"
#include "platform/platform.h"

namespace domora {

namespace {

AppPaths g_paths;
OsVersion g_os;

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return !prefix.empty() && text.size() >= prefix.size() && equal_nocase(text.substr(0, prefix.size()), prefix);
}

// Creates every missing level of folder. Only the last level is ours and
// owner-only; parents such as ~/.local/share are shared with every other
// program and get the usual mode (less the umask).
void make_folders(const std::string& folder) {
    const std::string own = folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        const std::string level = folder.substr(0, slash);
        if (!folder_exists(level)) platform().sys_mkdir(level, level == own ? 0700 : 0755);
    }
    if (!folder_exists(own)) platform().sys_mkdir(own, 0700);
}

const char* const kDataFileNames[] = {"address10.dat", "password10.dat", "vehicle11.dat"};

}  // namespace

AppPaths& app_paths() { return g_paths; }
const OsVersion& startup_os_version() { return g_os; }

// ---- data folder ----------------------------------------------------------------------

std::vector<std::string> system_install_prefixes() { return {"/usr/", "/opt/"}; }

std::string user_install_prefix() {
    const std::string home = platform().env("HOME");
    return home.empty() ? std::string() : with_slash(home) + ".local/";
}

std::string home_folder() {
    const std::string home = platform().env("HOME");
    return with_slash(home.empty() ? "/" : home);
}

std::string xdg_data_home() {
    const std::string configured = platform().env("XDG_DATA_HOME");
    if (!configured.empty() && configured[0] == '/') return with_slash(configured);
    const std::string home = platform().env("HOME");
    return with_slash(home.empty() ? "/tmp" : home) + ".local/share/";
}

std::string choose_data_folder(const std::string& program_folder) {
    bool installed = false;
    for (const std::string& prefix : system_install_prefixes()) installed = installed || starts_with_nocase(program_folder, prefix);
    installed = installed || starts_with_nocase(program_folder, user_install_prefix());
    if (!installed) return with_slash(program_folder);
    const std::string folder = xdg_data_home() + "domora/";
    if (!folder_exists(folder)) make_folders(folder);
    return folder;
}

void set_app_paths(const std::string& program_path, const std::string& data_folder, const std::string& command_line) {
    g_paths.program_path = program_path;
    const std::size_t slash = program_path.rfind('/');
    g_paths.program_folder = slash == std::string::npos ? std::string("./") : program_path.substr(0, slash + 1);
    g_paths.data_folder = with_slash(data_folder);
    g_paths.address_file = g_paths.data_folder + "address10.dat";
    g_paths.password_file = g_paths.data_folder + "password10.dat";
    g_paths.strong_password_file = g_paths.data_folder + "password20.dat";
    g_paths.vehicle_file = g_paths.data_folder + "vehicle11.dat";
    g_paths.reminders_file = g_paths.data_folder + "reminders.dat";
    g_paths.carddav_file = g_paths.data_folder + "carddav.dat";
    g_paths.settings_file = g_paths.data_folder + "setup313.dat";
    g_paths.scratch_file = g_paths.data_folder + "Temp.dat";
    g_paths.status_log = g_paths.data_folder + "status.log";
    g_paths.command_line = command_line;
}

void carry_over_data_files() {
    const std::string old_folder = g_paths.program_folder + "domora_data/";
    for (const char* name : kDataFileNames) {
        const std::string target = g_paths.data_folder + name;
        const std::string source = old_folder + name;
        // A strong password file is the store already: an older file beside it would only be a second one.
        if (target == g_paths.password_file && file_exists(g_paths.strong_password_file)) continue;
        if (!file_exists(target) && file_exists(source)) (void)copy_file_no_overwrite(source, target);
    }
}

// ---- status log ---------------------------------------------------------------------------

void start_status_log() {
    status_log_set_path(g_paths.status_log);
    delete_file(g_paths.status_log);
    status_log_write(std::string(kProductName) + " " + kVersion + " Status Log");
    status_log_write("");
    std::string system_prefixes;
    for (const std::string& prefix : system_install_prefixes()) {
        system_prefixes += (system_prefixes.empty() ? "" : ", ") + prefix;
    }
    status_log_write("Program Files 1 - " + to_lower(system_prefixes));
    status_log_write("Program Files 2 - " + to_lower(user_install_prefix()));
    status_log_write("App Path - " + g_paths.program_folder);
    status_log_write("Data Path - " + g_paths.data_folder);
    status_log_write("");
}

// ---- command line --------------------------------------------------------------------------

int choose_start_screen(std::string_view command_line) {
    if (command_line.find("address") != std::string_view::npos) return kScreenAddresses;
    if (command_line.find("vehicle") != std::string_view::npos) return kScreenVehicles;
    if (command_line.find("password") != std::string_view::npos) return kScreenPasswords;
    return kScreenAddresses;
}

std::string command_line_of(const std::vector<std::string>& arguments) {
    std::string joined;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (i > 1) joined += ' ';
        joined += arguments[i];
    }
    return trim(joined);
}

// ---- system identity ---------------------------------------------------------------------

OsVersion os_version() {
    const OsInfo info = platform().os_info();
    status_log_write("uname: " + log_number(info.major) + " - " + log_number(info.minor) + " - " + log_number(info.patch) +
                     " - " + info.sysname + " - " + info.release);
    if (info.has_os_release) {
        status_log_write("os-release: " + info.pretty_name);
    } else {
        status_log_write("No File /etc/os-release");
    }
    OsVersion v;
    v.major = info.major;
    v.minor = info.minor;
    v.build = info.patch;
    v.name = !info.pretty_name.empty() ? info.pretty_name : !info.sysname.empty() ? info.sysname : "Unknown";
    if (!info.release.empty()) v.name += ", " + info.release;
    const bool kernel_64 = info.machine.find("64") != std::string::npos || info.machine == "s390x";
    const bool process_64 = sizeof(void*) == 8;
    status_log_write("Wow64: " + log_number(kernel_64 && !process_64 ? 1 : 0));
    v.name += kernel_64 ? " (64-bit)" : " (32-bit)";
    return v;
}

// ---- start and end of a run ----------------------------------------------------------------

void shut_down() {
    // The fetch may still be waiting on the network; it is cancelled, not waited out.
    stop_update_check();
    stop_main_window_timers();
    record_window_placement();
    if (!save_settings()) {
        platform().system_message_box(
            "Your program settings did not save correctly.\r\nIf this problem continues please contact Tarnwick.",
            std::string(kProductName) + " Setting Error");
    }
    platform().destroy_main_window();
    delete_file(g_paths.data_folder + "temp.htm");
    delete_file(g_paths.scratch_file);
    discard_spare_files();
    platform().release_single_instance();
}

bool start_up(const std::vector<std::string>& arguments, int& exit_code) {
    exit_code = 0;
    const std::string program_path = platform().program_path();
    const std::size_t slash = program_path.rfind('/');
    const std::string program_folder = slash == std::string::npos ? std::string("./") : program_path.substr(0, slash + 1);

    // A second start only brings the running window forward; it must not
    // touch the first one's status log or files, so it is refused first.
    if (!platform().claim_single_instance(kProductName)) return false;

    set_app_paths(program_path, choose_data_folder(program_folder), command_line_of(arguments));
    carry_over_data_files();
    start_status_log();
    for (const std::string* file : {&g_paths.address_file, &g_paths.password_file, &g_paths.strong_password_file,
                                    &g_paths.vehicle_file, &g_paths.reminders_file, &g_paths.settings_file,
                                    &g_paths.carddav_file}) {
        clear_read_only(*file);
        remove_stale_temp_files(*file);
    }
    main_window() = MainWindowState{};
    input() = InputState{};
    main_window().current_screen = choose_start_screen(g_paths.command_line);

    g_os = os_version();
    const OsVersion& os = g_os;
    status_log_write(os.name + " - " + log_number(os.major) + "." + log_number(os.minor) + "." + log_number(os.build));

    if (platform().display_depth() < 16) {
        platform().system_message_box("Please change to a High Color or True Color screen setting",
                                      "Insufficient Colors!");
        platform().release_single_instance();
        exit_code = 1;
        return false;
    }

    settings_set_path(g_paths.settings_file);
    load_settings(platform().work_area());

    if (!create_main_window()) {
        platform().release_single_instance();
        exit_code = 1;
        return false;
    }
    start_update_check();
    return true;
}

}  // namespace domora
