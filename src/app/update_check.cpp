#include "app/update_check.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <memory>

#include "app/startup.h"
#include "app/text.h"
#include "platform/net_connection.h"
#include "platform/platform.h"

namespace domora {

namespace {

std::string g_built_in_host;

// Published once by the fetch thread with one exchange of the pointer, so
// the reader sees either nothing or the whole text; freed only after the
// thread has been joined.
std::atomic<const std::string*> g_update_text{nullptr};
const std::string kNoText;

struct FetchJob {
    std::unique_ptr<NetConnection> connection;
    UpdateServer server;
    pthread_t thread{};
    std::atomic<bool> done{false};
};
FetchJob* g_job = nullptr;

void* fetch_thread(void* argument) {
    FetchJob& job = *static_cast<FetchJob*>(argument);
    const std::string text = fetch_update_text(*job.connection, job.server);
    if (!text.empty()) {
        delete g_update_text.exchange(new std::string(text), std::memory_order_acq_rel);
    }
    job.done.store(true, std::memory_order_release);
    return nullptr;
}

bool all_digits(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// What follows the key up to the first ";", without the "=" and quote
// characters around it.
std::string notice_value(std::string_view lowered, std::string_view key) {
    const std::size_t at = lowered.find(key);
    if (at == std::string_view::npos) return {};
    std::string_view value = lowered.substr(at + key.size());
    value = value.substr(0, value.find(';'));
    while (!value.empty() && (value.front() == '=' || value.front() == '"')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == '=' || value.back() == '"')) value.remove_suffix(1);
    return std::string(value);
}

std::int32_t number_at(std::string_view text, std::size_t from, std::size_t length) {
    return from < text.size() ? leading_number(text.substr(from, length)) : 0;
}

}  // namespace

// ---- where the server is ------------------------------------------------------------------------

bool parse_update_server(std::string_view text, UpdateServer& server) {
    server = UpdateServer{};
    const std::string setting = trim(text);
    std::string host = setting;
    std::string port;
    if (!setting.empty() && setting.front() == '[') {
        const std::size_t close = setting.find(']');
        if (close == std::string::npos) return false;
        host = setting.substr(1, close - 1);
        const std::string rest = setting.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
    } else if (const std::size_t colon = setting.rfind(':');
               colon != std::string::npos && setting.find(':') == colon) {
        // One colon separates the port; more than one is a bare IPv6 address.
        host = setting.substr(0, colon);
        port = setting.substr(colon + 1);
        if (port.empty()) return false;
    }
    if (host.empty()) return false;
    int number = kUpdatePort;
    if (!port.empty()) {
        if (!all_digits(port)) return false;
        number = std::stoi(port);
        if (number < 1 || number > 65535) return false;
    }
    server.host = host;
    server.port = number;
    return true;
}

void set_built_in_update_host(std::string host) { g_built_in_host = std::move(host); }

UpdateServer configured_update_server() {
    const std::string from_environment = platform().env("DOMORA_UPDATE_HOST");
    UpdateServer server;
    parse_update_server(from_environment.empty() ? g_built_in_host : from_environment, server);
    return server;
}

// ---- the request and the reply -----------------------------------------------------------------

std::string update_request(const std::string& host) {
    return std::string("GET /") + kUpdateFile + " HTTP/1.0\r\n" +
           "Host: " + host + "\r\n" +
           "User-Agent: " + kProductName + "/" + kVersion + "\r\n" +
           "Pragma: no-cache\r\n"
           "Cache-Control: max-age=0\r\n"
           "\r\n";
}

std::string update_body(std::string_view response) {
    const std::size_t gap = response.find("\r\n\r\n");
    if (gap == std::string_view::npos) return {};
    // The file's own line ends go too: a text file usually ends with one, and
    // it is no part of the last value.
    std::string_view body = response.substr(gap + 4);
    const auto outer = [](char c) { return c == ' ' || c == '\r' || c == '\n'; };
    while (!body.empty() && outer(body.front())) body.remove_prefix(1);
    while (!body.empty() && outer(body.back())) body.remove_suffix(1);
    return std::string(body);
}

std::string fetch_update_text(NetConnection& connection, const UpdateServer& server, const UpdateTimeouts& timeouts) {
    if (server.host.empty()) return {};
    const std::string request = update_request(server.host);
    std::string response;
    for (int attempt = 0; attempt < kUpdateAttempts && response.empty() && !connection.cancelled(); ++attempt) {
        if (connection.connect(server.host, server.port, timeouts.connect_ms) != NetStatus::Ok) continue;
        bool whole = connection.send_all(request, timeouts.receive_ms) == NetStatus::Ok;
        char chunk[kUpdateChunk];
        while (whole) {
            std::size_t received = 0;
            const NetStatus status = connection.receive(chunk, sizeof chunk, received, timeouts.receive_ms);
            // A reset ends the reply like its end does; silence or a cancel
            // leaves it unfinished, and an unfinished reply is no reply.
            if (status == NetStatus::TimedOut || status == NetStatus::Cancelled) whole = false;
            if (status != NetStatus::Ok || received == 0) break;
            response.append(chunk, received);
            if (response.size() > kMaxUpdateResponse) whole = false;
        }
        connection.close();
        if (!whole) response.clear();
    }
    return update_body(response);
}

// ---- the background fetch ------------------------------------------------------------------------

void start_update_check() {
    if (g_job) return;
    const UpdateServer server = configured_update_server();
    if (server.host.empty()) return;

    auto job = std::make_unique<FetchJob>();
    job->connection = platform().new_connection();
    job->server = server;

    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return;
    pthread_attr_setstacksize(&attributes, 1024 * 1024);
    // Signals are for the user-interface thread; the fetch never sees them.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int created = pthread_create(&job->thread, &attributes, fetch_thread, job.get());
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_attr_destroy(&attributes);
    if (created != 0) return;
    g_job = job.release();
    platform().set_timer(kUpdateTimer, kUpdateTimerPeriodMs);
}

void stop_update_check() {
    if (g_job) {
        g_job->connection->cancel();
        pthread_join(g_job->thread, nullptr);
        delete g_job;
        g_job = nullptr;
        platform().kill_timer(kUpdateTimer);
    }
    delete g_update_text.exchange(nullptr, std::memory_order_acq_rel);
}

bool update_check_done() {
    if (!g_job) return true;
    if (!g_job->done.load(std::memory_order_acquire)) return false;
    platform().kill_timer(kUpdateTimer);
    return true;
}

const std::string& update_text() {
    const std::string* text = g_update_text.load(std::memory_order_acquire);
    return text ? *text : kNoText;
}

std::string update_field(std::string_view key) {
    const std::string& text = update_text();
    if (text.empty() || key.empty()) return {};
    const std::size_t at = text.find(key);
    if (at == std::string::npos) return {};
    const std::size_t open = text.find('"', at + key.size());
    if (open == std::string::npos) return {};
    const std::size_t close = text.find('"', open + 1);
    if (close == std::string::npos) return {};
    return text.substr(open + 1, close - open - 1);
}

// ---- the newsletter notice ------------------------------------------------------------------------

NewsletterNotice newsletter_notice(std::string_view text) {
    const std::string lowered = to_lower(text);
    return NewsletterNotice{notice_value(lowered, "news_date"), notice_value(lowered, "news_note"),
                            notice_value(lowered, "news_link")};
}

std::string newsletter_heading(std::string_view date) {
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    const std::int32_t year = number_at(date, 0, 4);
    const std::int32_t month = number_at(date, 5, 2);
    const std::int32_t day = number_at(date, 8, 2);
    const std::string month_name = month >= 1 && month <= 12 ? kMonths[month - 1] : "";
    return "Newsletter for " + month_name + " " + std::to_string(day) + ", " + std::to_string(year);
}

}  // namespace domora
