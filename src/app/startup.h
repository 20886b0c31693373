// Start-up: the data folder and file paths, the carry-over of older data
// files, the status-log header, the start screen, the system identity, and
// the whole run from start to shutdown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace domora {

inline constexpr const char* kProductName = "Domora";
inline constexpr const char* kVersion = "3.16";

// Screen codes; each is also the identifier of its tab.
enum ScreenCode {
    kScreenAddresses = 3,
    kScreenPasswords = 5,
    kScreenVehicles = 6,
    kScreenOptions = 7,
    kScreenAbout = 8,
};

// Set once during start-up, never changed afterwards. Folders end with '/'.
struct AppPaths {
    std::string program_path;
    std::string program_folder;
    std::string data_folder;
    std::string address_file;
    std::string password_file;         // the standard password file
    std::string strong_password_file;  // the strong one; when it exists it is the store
    std::string vehicle_file;
    std::string reminders_file;  // the vehicles' service reminders
    std::string carddav_file;    // the contacts sync's state
    std::string settings_file;
    std::string scratch_file;
    std::string status_log;
    std::string command_line;
};

AppPaths& app_paths();

// The prefixes below which a program counts as installed: the system ones
// and the user's ~/.local/.
std::vector<std::string> system_install_prefixes();
std::string user_install_prefix();  // "" when HOME is unset

// The user's home folder; ends with '/'.
std::string home_folder();

// $XDG_DATA_HOME, or ~/.local/share/ when unset or not absolute; ends with '/'.
std::string xdg_data_home();

// An installed program keeps its data in the XDG data folder + "domora/",
// created owner-only when missing; a program anywhere else keeps it beside
// itself. Prefixes are compared without regard to letter case.
std::string choose_data_folder(const std::string& program_folder);

// Fills every path from the program path, the chosen data folder and the
// command-line words.
void set_app_paths(const std::string& program_path, const std::string& data_folder, const std::string& command_line);

// Copies older data files from program folder + "domora_data/" into the data
// folder where the data folder has none of them yet.
void carry_over_data_files();

// Deletes the old status log and writes the header.
void start_status_log();

// "address", then "vehicle", then "password": the first word found
// (case-sensitive substring) picks the first screen; Addresses otherwise.
int choose_start_screen(std::string_view command_line);

// The program's argument words joined by blanks, outer blanks removed.
std::string command_line_of(const std::vector<std::string>& arguments);

struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    std::string name;
};
// Identifies the kernel and distribution, writing what it learns to the log.
OsVersion os_version();
// What os_version found at start-up.
const OsVersion& startup_os_version();

// Everything up to and including the creation of the main window. False
// when the run ends here (a second instance, a refusal), with exit_code set.
bool start_up(const std::vector<std::string>& arguments, int& exit_code);
// Saves the settings (telling the user when that failed), deletes the
// scratch files and releases the window and the single instance.
void shut_down();

}  // namespace domora
