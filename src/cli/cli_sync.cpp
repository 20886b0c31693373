// sync: the window program's contacts sync, run once from a script, with its
// progress on standard error. The password comes from the desktop's Secret
// Service where it keeps one, else from --password-fd, else the terminal.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "addresses/address_store.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "cli/cli_master.h"
#include "cli/cli_verbs.h"
#include "passwords/secure_memory.h"
#include "platform/cp1252.h"
#include "platform/platform.h"
#include "platform/secret_store.h"
#include "sync/carddav_state.h"
#include "sync/http_client.h"
#include "sync/sync_round.h"

namespace domora::cli {

namespace {

int password_for(const SyncState& state, bool have_fd, const std::string& fd_text, std::string& password) {
    if (have_fd) {
        char* end = nullptr;
        const long fd = std::strtol(fd_text.c_str(), &end, 10);
        if (fd_text.empty() || *end != '\0' || fd < 0 || fd > 1000000) {
            return fail(kExitUser, "sync: --password-fd needs a file descriptor number, not " + fd_text);
        }
        std::string error;
        if (!read_password_from_fd(static_cast<int>(fd), password, error)) {
            return fail(kExitUser, "sync: cannot read the password from file descriptor " + fd_text + ": " + error);
        }
        password = utf8_to_cp1252(password);
        return kExitOk;
    }
    if (secret_store().find(state.server, state.user, password) == SecretStore::Lookup::Found) return kExitOk;
    std::string error;
    const std::string prompt = for_terminal("Password for " + state.user + " at " + state.server + ": ");
    if (!read_password_from_terminal(prompt.c_str(), password, error)) return fail(kExitUser, "sync: " + error);
    password = utf8_to_cp1252(password);
    return kExitOk;
}

// The delete guard: --yes lets a large deletion through; on a terminal it is
// asked; a script without --yes keeps the contacts, as a "No" in the window does.
bool allow_deletions(const DeleteCounts& counts, bool yes) {
    const std::string what = std::to_string(counts.in_book) + " contacts from the address book and " +
                             std::to_string(counts.on_server) + " from the server";
    if (yes) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) {
        warn("this sync would delete " + what + "; they are kept (run with --yes to let it)");
        return false;
    }
    std::fprintf(stderr, "This sync would delete %s. Delete them? [y/N] ", what.c_str());
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

// A line for each step and each tenth of a long one.
void show_progress(const std::string& what, std::size_t done, std::size_t total) {
    static std::string last_what;
    static std::size_t last_tenth = 0;
    const std::size_t tenth = total > 0 ? done * 10 / total : 0;
    if (what == last_what && tenth == last_tenth) return;
    last_what = what;
    last_tenth = tenth;
    if (total > 0) std::fprintf(stderr, "%s %zu of %zu\n", for_terminal(what).c_str(), done, total);
    else std::fprintf(stderr, "%s\n", for_terminal(what).c_str());
}

}  // namespace

int run_sync(Words& words) {
    int error = kExitOk;
    std::string fd_text;
    const bool have_fd = words.option("--password-fd", fd_text, error);
    const bool yes = words.flag("--yes");
    if (error != kExitOk) return error;
    if (const int left = words.leftover()) return left;
    const std::string& state_path = app_paths().carddav_file;
    const Result<SyncState> state = read_sync_state(state_path);
    if (!state) return fail(kExitDamaged, "sync: cannot read " + state_path + ": " + state.error().message);
    if (!state.value().configured()) {
        return fail(kExitUser, "sync: the contacts sync is not set up (Options, Contacts Sync in the window program)");
    }
    AddressStore store;
    const Result<void> loaded = store.load();
    if (!loaded) return fail(kExitDamaged, "sync: cannot read " + app_paths().address_file + ": " + loaded.error().message);
    ScopedSecret password;
    if (const int asked = password_for(state.value(), have_fd, fd_text, password.text())) return asked;
    HttpOptions options;
    options.user = cp1252_to_utf8(state.value().user);
    options.password = cp1252_to_utf8(password.text());
    // Plain http was accepted (or is on this machine) when the sync was set up.
    options.allow_plain_http = url_scheme(state.value().book_url) == "http";
    HttpClient http(options);
    status_log_write("Contacts Sync: start");
    const Result<SyncReport> done = sync_address_book(
        http, state_path, store, [yes](const DeleteCounts& counts) { return allow_deletions(counts, yes); },
        platform().utc_now(), show_progress);
    if (!done) {
        status_log_write("Contacts Sync: " + done.error().message);
        return fail(kExitUser, "sync: " + done.error().message);
    }
    const SyncReport& r = done.value();
    std::printf("Contacts Sync: from the server %zu added, %zu changed, %zu deleted; to the server %zu added, %zu changed, %zu deleted\n",
                r.received_added, r.received_changed, r.received_deleted, r.sent_added, r.sent_changed, r.sent_deleted);
    status_log_write("Contacts Sync: done");
    return kExitOk;
}

}  // namespace domora::cli
