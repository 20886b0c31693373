// domora-cli: the address book, the password store, the vehicle log and
// backups from scripts, over the same stores and formats as the window
// program, with no window.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/text.h"
#include "cli/cli_common.h"
#include "cli/cli_platform.h"
#include "cli/cli_verbs.h"
#include "platform/cp1252.h"
#include "platform/libsecret/libsecret_store.h"

namespace {

using namespace domora;

std::string with_slash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}
using namespace domora::cli;

// The data folder and the paths, as the window program sets them up: the
// window program is the one beside this one, so a backup copies it.
int set_up(const std::string& data_option, bool have_data_option) {
    const std::string own_path = platform().program_path();
    const std::size_t slash = own_path.rfind('/');
    const std::string program_folder = slash == std::string::npos ? std::string("./") : own_path.substr(0, slash + 1);
    std::string data_folder;
    if (have_data_option) {
        if (data_option.empty()) return fail(kExitUser, "--data needs a folder");
        if (!folder_exists(data_option)) return fail(kExitUser, "--data: no folder " + data_option);
        data_folder = with_slash(data_option);
    } else {
        data_folder = choose_data_folder(program_folder);
    }
    set_app_paths(program_folder + "domora", data_folder, "");
    // Read for the units and the current vehicle; never written, so the
    // window program's settings stay as it left them.
    settings_set_path(app_paths().settings_file);
    load_settings(platform().work_area());
    return kExitOk;
}

int dispatch(const std::string& verb, Words& words) {
    if (verb == "addresses") return run_addresses(words);
    if (verb == "vehicles") return run_vehicles(words);
    if (verb == "passwords") return run_passwords(words);
    if (verb == "backup") return run_backup(words);
    if (verb == "restore") return run_restore(words);
    if (verb == "check") return run_check(words);
    if (verb == "repair") return run_repair(words);
    if (verb == "sync") return run_sync(words);
    return fail(kExitUser, "unknown verb " + verb + " (see domora-cli --help)");
}

int run(std::vector<std::string> arguments) {
    std::string data;
    bool have_data = false;
    std::size_t at = 0;
    // Options before the verb belong to the program.
    while (at < arguments.size() && arguments[at].size() > 1 && arguments[at][0] == '-') {
        const std::string& word = arguments[at];
        if (word == "--help" || word == "-h") return print_usage("");
        if (word == "--version") {
            std::printf("domora-cli %s\n", kVersion);
            return kExitOk;
        }
        if (word == "--data") {
            if (at + 1 >= arguments.size()) return fail(kExitUser, "--data needs a folder");
            data = arguments[at + 1];
            have_data = true;
            at += 2;
        } else if (word.rfind("--data=", 0) == 0) {
            data = word.substr(7);
            have_data = true;
            ++at;
        } else {
            return fail(kExitUser, "unknown option " + word + " (see domora-cli --help)");
        }
    }
    if (at == arguments.size()) {
        std::fputs(usage(""), stderr);
        return kExitUser;
    }
    const std::string verb = arguments[at++];
    std::vector<std::string> rest(arguments.begin() + static_cast<std::ptrdiff_t>(at), arguments.end());
    // --data may also follow the verb, where scripts tend to put it.
    Words words(std::move(rest), verb);
    int error = kExitOk;
    std::string late_data;
    if (words.option("--data", late_data, error)) {
        data = late_data;
        have_data = true;
    }
    if (error != kExitOk) return error;
    if (usage(verb) == nullptr) return fail(kExitUser, "unknown verb " + verb + " (see domora-cli --help)");
    // Help never needs the data folder.
    if (words.flag("--help") || words.flag("-h")) {
        Words probe = words;
        std::string sub;
        if (probe.take(sub) && usage(verb + " " + sub)) return print_usage(verb + " " + sub);
        return print_usage(verb);
    }
    const int ready = set_up(data, have_data);
    if (ready != kExitOk) return ready;
    return dispatch(verb, words);
}

}  // namespace

int main(int argc, char** argv) {
    domora::CliPlatform cli_platform;
    domora::set_platform(&cli_platform);
    // The sync's password where the desktop keeps it; without a session bus this answers "no service".
    std::unique_ptr<domora::SecretStore> secrets = domora::make_libsecret_store();
    domora::set_secret_store(secrets.get());
    std::vector<std::string> arguments;
    // Paths and texts are Windows-1252 inside, as in the window program.
    for (int i = 1; i < argc; ++i) arguments.push_back(domora::utf8_to_cp1252(argv[i]));
    const int code = run(std::move(arguments));
    std::fflush(stdout);
    domora::set_secret_store(nullptr);
    domora::set_platform(nullptr);
    return code;
}
