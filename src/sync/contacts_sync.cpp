#include "sync/contacts_sync.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "addresses/address_list.h"
#include "app/files.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/cp1252.h"
#include "platform/platform.h"
#include "platform/secret_store.h"
#include "screens/contacts_sync_form.h"
#include "sync/carddav_client.h"
#include "sync/sync_round.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"

namespace domora {

namespace {

constexpr int kBusyTimerMs = 250;
constexpr int kMostRounds = 4;

std::string state_path() { return app_paths().carddav_file; }

// Threads whose work is not finished yet.
std::atomic<int> g_working{0};

// A thread that blocks every signal: they are the user-interface thread's.
template <class Work>
std::thread quiet_thread(Work work) {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    g_working.fetch_add(1);
    std::thread thread([work = std::move(work)]() mutable {
        work();
        g_working.fetch_sub(1);
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

// One network step on the worker thread; the user-interface thread polls it.
struct Step {
    std::thread thread;
    std::atomic<bool> done{false};
    std::mutex lock;
    std::string what;  // progress, under lock
    std::size_t progress_done = 0, progress_total = 0;

    SyncProgressFn progress() {
        return [this](const std::string& text, std::size_t d, std::size_t t) {
            const std::lock_guard<std::mutex> guard(lock);
            what = text;
            progress_done = d;
            progress_total = t;
        };
    }
    std::string note() {
        const std::lock_guard<std::mutex> guard(lock);
        if (what.empty()) return "Syncing contacts...";
        if (progress_total == 0) return what + "...";
        return what + ": " + with_thousands(static_cast<std::int64_t>(progress_done)) + " of " +
               with_thousands(static_cast<std::int64_t>(progress_total));
    }
};

class Controller {
public:
    // A new run: nothing is remembered from an earlier one.
    void begin() {
        m_cancel.store(false);
        m_password.reset();
        m_password_refused = false;
        m_last_failure.clear();
        m_due_at.reset();
        Result<SyncState> loaded = read_sync_state(state_path());
        m_state = loaded ? std::move(loaded.value()) : SyncState{};
        m_state_out = false;
        if (!loaded) status_log_write("Contacts Sync: " + loaded.error().message);
        if (m_state.configured()) {
            m_due_at = platform().tick_ms();  // at the first quiet turn
            reset_timer();
        }
    }

    void poll() {
        const MainWindowState& win = main_window();
        if (win.popup_open || win.quit_requested) return;
        if (m_step && m_step->done.load(std::memory_order_acquire)) {
            finish_step();
        } else if (m_step) {
            show_note(m_step->note());
        } else if (m_due_at && platform().tick_ms() >= *m_due_at) {
            start_sync(false);
        }
    }

    void end() {
        m_cancel.store(true);
        if (m_step) {
            m_step->thread.join();
            m_step.reset();
        }
        set_status_note("");
        platform().kill_timer(kContactsSyncTimer);
    }

    bool running() const { return m_step != nullptr; }

    void options() {
        Result<SyncState> loaded = read_sync_state(state_path());
        if (loaded && !running()) {
            m_state = std::move(loaded.value());
            m_state_out = false;
        }
        if (!running() && m_state_out) {
            // The contacts went with a step that failed, and the file cannot be read: nothing may be written over it now.
            show_message("Unable to read the sync settings||" + state_path() + "|" + loaded.error().message);
            return;
        }
        if (!m_state.configured()) {
            set_up();
            return;
        }
        switch (ask_sync_choice(m_state.book_name, m_state.server)) {
            case SyncChoice::SyncNow:
                if (!running()) start_sync(true);
                break;
            case SyncChoice::ChangeSettings: set_up(); break;
            case SyncChoice::StopSyncing: stop_syncing(); break;
            case SyncChoice::Cancel: break;
        }
    }

private:
    // ---- setting up -----------------------------------------------------------------------

    void set_up() {
        if (running()) {
            show_message("A contacts sync is under way; please try again when it has finished.");
            return;
        }
        SyncAccount account{m_state.server, m_state.user, ""};
        std::string error;
        for (;;) {
            if (!ask_sync_account(account, error)) return;
            const std::string url = with_scheme(account.server);
            const bool plain = url_scheme(url) == "http";
            if (url_scheme(url) != "http" && url_scheme(url) != "https") {
                error = "The server address must start with https:// or http://";
                continue;
            }
            if (plain && !is_loopback_url(url) && !confirm_plain_http(account.server)) {
                error.clear();
                continue;
            }
            HttpOptions options = http_options(account.user, account.password, plain);
            Result<std::vector<AddressBookInfo>> books = in_background("Looking for your address books...", [&] {
                HttpClient http(options, &m_cancel);
                return discover_address_books(http, url);
            });
            if (!books) {
                error = books.error().message;
                continue;
            }
            int chosen = 0;
            if (books.value().size() > 1) {
                std::vector<std::string> names;
                for (const AddressBookInfo& b : books.value()) names.push_back(utf8_to_cp1252(b.name));
                chosen = pick_address_book(names);
                if (chosen < 0) return;
            }
            const AddressBookInfo& book = books.value()[static_cast<std::size_t>(chosen)];
            SyncState state;
            // The same address book keeps what is known of it; another one starts afresh.
            if (book.url == m_state.book_url && account.user == m_state.user) state = m_state;
            state.server = account.server;
            state.user = account.user;
            state.book_url = book.url;
            state.book_name = utf8_to_cp1252(book.name);
            state.plain_http = plain && !is_loopback_url(url);
            const Result<void> saved = write_sync_state(state_path(), state);
            if (!saved) {
                show_message("Unable to save the sync settings||" + state_path() + "|" + saved.error().message);
                return;
            }
            m_state = state;
            keep_password(account.password);
            status_log_write("Contacts Sync: set up with " + state.book_url);
            start_sync(true);
            return;
        }
    }

    void stop_syncing() {
        int answer = 2;
        ShowPopup("Stop syncing your addresses with \"" + m_state.book_name + "\"?||The addresses stay here and on the server.", "", 2,
                  "Stop Syncing|Cancel", 0, answer);
        main_window().screen_needs_redraw = true;
        if (answer != 1 || main_window().quit_requested) return;
        if (running()) {
            m_cancel.store(true);
            m_step->thread.join();
            m_step.reset();
            m_cancel.store(false);
        }
        secret_store().forget(m_state.server, m_state.user);
        delete_file(state_path());
        status_log_write("Contacts Sync: stopped");
        m_state = SyncState{};
        m_state_out = false;
        m_password.reset();
        m_due_at.reset();
        show_note("");
        platform().kill_timer(kContactsSyncTimer);
    }

    // Runs work on a thread while a progress popup shows the title and the window keeps answering.
    template <class Work>
    auto in_background(const std::string& title, Work work) -> decltype(work()) {
        std::optional<decltype(work())> result;
        std::atomic<bool> done{false};
        std::thread thread = quiet_thread([&] {
            result.emplace(work());
            done.store(true, std::memory_order_release);
        });
        OpenProgress();
        Platform& os = platform();
        os.set_timer(kContactsSyncTimer, kBusyTimerMs);
        int turn = 0;
        while (!done.load(std::memory_order_acquire)) {
            UpdateProgress(title, "", turn % 100, 100);
            turn += 5;
            pump_message(true);
            if (main_window().quit_requested) m_cancel.store(true);
        }
        thread.join();
        CloseProgress();
        m_cancel.store(false);
        reset_timer();
        return std::move(*result);
    }

    // ---- the password ------------------------------------------------------------------------

    HttpOptions http_options(const std::string& user, const std::string& password, bool plain) const {
        HttpOptions o;
        o.user = cp1252_to_utf8(user);
        o.password = cp1252_to_utf8(password);
        o.allow_plain_http = plain;
        return o;
    }

    void keep_password(const std::string& password) {
        m_password = password;
        if (!secret_store().keep("Domora contacts sync: " + m_state.user + " on " + m_state.server, m_state.server, m_state.user, password)) {
            status_log_write("Contacts Sync: no Secret Service keeps the password; it is asked once per run");
        }
    }

    // The password from the Secret Service, or asked once per run where none answers.
    std::optional<std::string> password(bool asked_for) {
        if (m_password) return m_password;
        std::string secret;
        const SecretStore::Lookup found = secret_store().find(m_state.server, m_state.user, secret);
        if (found == SecretStore::Lookup::Found) {
            m_password = secret;
            return m_password;
        }
        // Asked once per run; a cancelled question is not asked again until the user asks to sync.
        if (m_password_refused && !asked_for) return std::nullopt;
        std::string typed;
        if (!ask_sync_password(m_state.server, m_state.user, typed)) {
            m_password_refused = true;
            return std::nullopt;
        }
        if (found == SecretStore::Lookup::NotFound) keep_password(typed);
        else m_password = typed;
        return m_password;
    }

    // ---- the sync -------------------------------------------------------------------------------

    void start_sync(bool asked_for) {
        m_due_at = platform().tick_ms() + kContactsSyncPeriodMs;
        if (!m_state.configured() || main_window().quit_requested) return;
        if (m_state_out) {
            Result<SyncState> loaded = read_sync_state(state_path());
            if (!loaded) return fail(loaded.error().message);
            m_state = std::move(loaded.value());
            m_state_out = false;
        }
        const std::optional<std::string> secret = password(asked_for);
        if (!secret) {
            reset_timer();
            return;
        }
        m_options = http_options(m_state.user, *secret, url_scheme(m_state.book_url) == "http");
        m_asked_for = asked_for;
        m_round = 0;
        m_report = SyncReport{};
        status_log_write("Contacts Sync: start");
        start_receive();
    }

    // The state for a step on the worker: the settings copied, the contacts
    // handed over, so that a large book's are never held twice. They come
    // back with the step's result; after a step that failed they are read
    // again from the file, which always holds what was last agreed.
    SyncState hand_over_state() {
        std::vector<SyncEntry> entries = std::move(m_state.entries);
        m_state.entries.clear();
        SyncState state = m_state;
        state.entries = std::move(entries);
        m_state_out = true;
        return state;
    }

    void start_receive() {
        ++m_round;
        BookSnapshot snapshot = book_snapshot(current_book(), m_state);
        m_incoming.reset();
        m_outgoing.reset();
        m_step = std::make_unique<Step>();
        Step* step = m_step.get();
        step->thread = quiet_thread([this, step, state = hand_over_state(), snapshot = std::move(snapshot), options = m_options]() mutable {
            HttpClient http(options, &m_cancel);
            m_incoming.emplace(receive_changes(http, std::move(state), snapshot, step->progress()));
            step->done.store(true, std::memory_order_release);
        });
        platform().set_timer(kContactsSyncTimer, kBusyTimerMs);
        show_note("Syncing contacts...");
    }

    void start_send() {
        BookSnapshot snapshot = book_snapshot(current_book(), m_state);
        m_step = std::make_unique<Step>();
        Step* step = m_step.get();
        m_sending = hand_over_state();
        const UtcTime now = platform().utc_now();
        step->thread = quiet_thread([this, step, snapshot = std::move(snapshot), options = m_options, now] {
            HttpClient http(options, &m_cancel);
            const std::string path = state_path();
            m_outgoing.emplace(send_changes(http, m_sending, snapshot, now, step->progress(),
                                            [path](const SyncState& s) { return write_sync_state(path, s); }));
            step->done.store(true, std::memory_order_release);
        });
        show_note("Sending contacts...");
    }

    void finish_step() {
        m_step->thread.join();
        m_step.reset();
        if (m_incoming) {
            Result<Incoming> incoming = std::move(*m_incoming);
            m_incoming.reset();
            if (!incoming) return fail(incoming.error().message);
            received(incoming.value());
            return;
        }
        if (m_outgoing) {
            Result<Outgoing> sent = std::move(*m_outgoing);
            m_outgoing.reset();
            // What went up is in the state whatever happened after.
            m_state = std::move(m_sending);
            m_state_out = false;
            if (!sent) return fail(sent.error().message);
            m_report.sent_added += sent.value().added;
            m_report.sent_changed += sent.value().changed;
            m_report.sent_deleted += sent.value().deleted;
            const bool sent_any = sent.value().added + sent.value().changed + sent.value().deleted > 0;
            if ((sent.value().again || sent_any) && m_round < kMostRounds) {
                start_receive();
                return;
            }
            succeed();
        }
    }

    void received(Incoming& incoming) {
        {
            // Let go before the changes go in: the apply step is when a large first sync holds the most.
            const BookSnapshot now = book_snapshot(current_book(), incoming.state);
            const DeleteCounts counts = count_deletions(incoming, now);
            if (deletions_need_asking(counts) && !allow_deletions(counts)) {
                if (Result<void> kept = keep_deleted_contacts(incoming, now); !kept) return fail(kept.error().message);
            }
        }
        AddressStore& store = current_book();
        // The record the user looks at stays current however the book is re-sorted.
        const std::int32_t current_id = store.valid_position(store.current()) ? store.id_at(store.item(store.current())) : -1;
        Result<ApplyOutcome> applied = apply_to_store(incoming, store, state_path());
        if (main_window().current_screen == kScreenAddresses) {
            set_current_by_id(store, current_id);
            main_window().screen_needs_redraw = true;
        }
        if (!applied) return fail(applied.error().message);
        m_report.received_added += applied.value().added;
        m_report.received_changed += applied.value().changed;
        m_report.received_deleted += applied.value().deleted;
        m_state = std::move(incoming.state);
        m_state_out = false;
        start_send();
    }

    bool allow_deletions(const DeleteCounts& c) {
        std::string what;
        if (c.in_book > 0) what += with_thousands(static_cast<std::int64_t>(c.in_book)) + " of your " +
                                   with_thousands(static_cast<std::int64_t>(c.book_size)) + " addresses here";
        if (c.on_server > 0) {
            if (!what.empty()) what += " and ";
            what += with_thousands(static_cast<std::int64_t>(c.on_server)) + " of " +
                    with_thousands(static_cast<std::int64_t>(c.server_size)) + " on the server";
        }
        int answer = 2;
        ShowPopup("Contacts Sync|This sync would delete " + what + ".||Delete them, or keep them on both sides?", "", 2,
                  "Delete|Keep", 0, answer);
        main_window().screen_needs_redraw = true;
        return answer == 1;
    }

    void succeed() {
        const SyncReport& r = m_report;
        status_log_write("Contacts Sync: done - received" + log_number(static_cast<std::int64_t>(r.received_added)) + " new," +
                         log_number(static_cast<std::int64_t>(r.received_changed)) + " changed," +
                         log_number(static_cast<std::int64_t>(r.received_deleted)) + " deleted - sent" +
                         log_number(static_cast<std::int64_t>(r.sent_added)) + " new," +
                         log_number(static_cast<std::int64_t>(r.sent_changed)) + " changed," +
                         log_number(static_cast<std::int64_t>(r.sent_deleted)) + " deleted");
        m_last_failure.clear();
        show_note("");
        reset_timer();
    }

    void fail(const std::string& reason) {
        status_log_write("Contacts Sync: failed - " + reason);
        show_note("");
        reset_timer();
        if (reason == "cancelled" || main_window().quit_requested) return;
        // A wrong password is asked for again at the next sync.
        if (reason.rfind("401", 0) == 0) m_password.reset();
        // The same failure again and again (a laptop offline) is told once, unless the user asked for this sync.
        if (reason == m_last_failure && !m_asked_for) return;
        m_last_failure = reason;
        show_message("The contacts sync with " + m_state.server + " did not finish:||" + utf8_to_cp1252(reason));
    }

    // The book as the screens see it: when the Addresses screen is not showing, its file is read afresh.
    AddressStore& current_book() {
        AddressStore& store = address_store();
        if (main_window().current_screen != kScreenAddresses) (void)store.load();
        return store;
    }

    void show_note(const std::string& text) {
        if (status_note() == text) return;
        set_status_note(text);
        main_window().screen_needs_redraw = true;
    }

    void reset_timer() {
        Platform& os = platform();
        os.kill_timer(kContactsSyncTimer);
        if (m_due_at) {
            const std::uint64_t now = os.tick_ms();
            const std::uint64_t wait = *m_due_at > now ? *m_due_at - now : 1;
            os.set_timer(kContactsSyncTimer, static_cast<int>(std::min<std::uint64_t>(wait, kContactsSyncPeriodMs)));
        }
    }

    SyncState m_state;
    std::optional<std::uint64_t> m_due_at;
    std::optional<std::string> m_password;
    bool m_password_refused = false;
    bool m_asked_for = false;
    std::string m_last_failure;
    HttpOptions m_options;
    CancelFlag m_cancel{false};
    std::unique_ptr<Step> m_step;
    int m_round = 0;
    bool m_state_out = false;  // m_state's contacts are with a step, or were lost with it
    SyncState m_sending;  // the worker's while it sends
    std::optional<Result<Incoming>> m_incoming;
    std::optional<Result<Outgoing>> m_outgoing;
    SyncReport m_report;
};

Controller& controller() {
    static Controller c;
    return c;
}

}  // namespace

void contacts_sync_begin() { controller().begin(); }
void contacts_sync_poll() { controller().poll(); }
void contacts_sync_end() { controller().end(); }
void contacts_sync_options() { controller().options(); }
bool contacts_sync_running() { return controller().running(); }
bool contacts_sync_worker_busy() { return g_working.load() > 0; }

}  // namespace domora
