#include "sync/http_client.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "app/text.h"
#include "platform/platform.h"
#include "sync/card_spool.h"

namespace domora {

namespace {

void global_init() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    HttpResponse* response = nullptr;
    std::size_t max_body = 0;
    bool too_large = false;
    const CancelFlag* cancel = nullptr;
    // Where the answer goes when the request spools it; the bytes it has.
    std::shared_ptr<SpooledBody> spool;
    int spool_error = 0;
};

// Appends to the spool; false (errno in spool_error) when the disk would not take it.
bool spool_bytes(Transfer& t, const char* data, std::size_t bytes) {
    t.spool_error = write_fully(t.spool->fd, std::string_view(data, bytes));
    if (t.spool_error != 0) return false;
    t.spool->size += bytes;
    return true;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::uint64_t held = t->spool ? t->spool->size : t->response->body.size();
    if (held + bytes > t->max_body) {
        t->too_large = true;
        return 0;  // stops the transfer
    }
    if (t->spool) return spool_bytes(*t, data, bytes) ? bytes : 0;
    if (t->response->body.empty()) {
        // Room for the whole body at once: a growing string holds up to twice a large listing.
        const auto length = t->response->headers.find("content-length");
        if (length != t->response->headers.end()) {
            const unsigned long long announced = std::strtoull(length->second.c_str(), nullptr, 10);
            if (announced <= t->max_body) t->response->body.reserve(static_cast<std::size_t>(announced));
        }
    }
    t->response->body.append(data, bytes);
    return bytes;
}

// An answer that was spooled, back into memory (it is within the cap).
Result<void> read_spooled(const SpooledBody& spooled, std::string& out) {
    Platform& os = platform();
    out.resize(static_cast<std::size_t>(spooled.size));
    if (os.sys_seek(spooled.fd, 0, SEEK_SET) < 0) return Error{std::strerror(errno)};
    std::size_t got = 0;
    if (const int err = read_at_least(spooled.fd, out.data(), out.size(), out.size(), got); err != 0) {
        return Error{std::string("the contacts sync could not read the server's answer: ") + std::strerror(err)};
    }
    return {};
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    std::size_t first = 0;
    while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
    return text.substr(first);
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    const std::string line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new response (after a redirect or an authentication round): its
        // headers replace the last one's, and so does its body.
        t->response->headers.clear();
        t->response->body.clear();
        if (t->spool && t->spool->size != 0) {
            t->spool->size = 0;
            platform().sys_ftruncate(t->spool->fd, 0);
            platform().sys_seek(t->spool->fd, 0, SEEK_SET);
        }
        const std::size_t first_space = line.find(' ');
        const std::size_t second_space = first_space == std::string::npos ? std::string::npos : line.find(' ', first_space + 1);
        t->response->reason = second_space == std::string::npos ? std::string() : trimmed(line.substr(second_space + 1));
        return bytes;
    }
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) t->response->headers[to_lower(trimmed(line.substr(0, colon)))] = trimmed(line.substr(colon + 1));
    return bytes;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* t = static_cast<Transfer*>(user);
    return t->cancel && t->cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

std::string standard_reason(long status) {
    switch (status) {
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 409: return "Conflict";
        case 412: return "Precondition Failed";
        case 413: return "Payload Too Large";
        case 415: return "Unsupported Media Type";
        case 500: return "Internal Server Error";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 507: return "Insufficient Storage";
        default: return "";
    }
}

// The part of a URL that curl's parser gives, "" when it has none.
std::string url_part(const std::string& url, CURLUPart what) {
    CURLU* u = curl_url();
    if (!u) return {};
    std::string out;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* part = nullptr;
        if (curl_url_get(u, what, &part, 0) == CURLUE_OK && part) {
            out = part;
            curl_free(part);
        }
    }
    curl_url_cleanup(u);
    return out;
}

}  // namespace

std::string HttpResponse::header(const std::string& lower_name) const {
    const auto found = headers.find(lower_name);
    return found == headers.end() ? std::string() : found->second;
}

std::string HttpResponse::status_line() const {
    const std::string text = reason.empty() ? standard_reason(status) : reason;
    return std::to_string(status) + (text.empty() ? "" : " " + text);
}

struct HttpClient::Handle {
    CURL* curl = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    // The server asked for Basic and nothing else: the credentials go with
    // every later request at once, instead of after a 401 round trip each.
    bool basic_only = false;
    ~Handle() {
        if (curl) curl_easy_cleanup(curl);
    }
};

HttpClient::HttpClient(HttpOptions options, const CancelFlag* cancel)
    : m_options(std::move(options)), m_cancel(cancel), m_handle(std::make_unique<Handle>()) {
    global_init();
    m_handle->curl = curl_easy_init();
}

HttpClient::~HttpClient() = default;

// Straight to the system, like the cards' spool: an answer may outlive the platform.
SpooledBody::~SpooledBody() { ::close(fd); }

Result<HttpResponse> HttpClient::send(const HttpRequest& request) {
    CURL* curl = m_handle->curl;
    if (!curl) return Error{"the HTTP library could not be started"};
    const std::string scheme = url_scheme(request.url);
    if (scheme != "https" && !(scheme == "http" && m_options.allow_plain_http)) {
        return Error{scheme == "http" ? "plain http is not allowed for this server" : "not an http or https address: " + request.url};
    }
    // The handle keeps its connection between requests; everything else is set afresh.
    curl_easy_reset(curl);
    HttpResponse response;
    Transfer transfer{&response, m_options.max_body, false, m_cancel, nullptr, 0};
    if (request.spool_answer) {
        Result<int> file = open_unnamed_file(sync_spool_folder());
        if (!file) return Error{"the contacts sync could not keep the server's answer: " + file.error().message};
        transfer.spool = std::make_shared<SpooledBody>(file.value());
    }
    m_handle->error[0] = 0;
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_handle->error);
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.method == "HEAD") curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!request.body.empty() || request.method == "PUT" || request.method == "PROPFIND" || request.method == "REPORT") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }
    // Redirects keep the method (a PROPFIND stays one); credentials go only to the same host.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, m_options.allow_plain_http ? "http,https" : "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, m_options.allow_plain_http ? "http,https" : "https");
    if (!m_options.user.empty() || !m_options.password.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(m_handle->basic_only ? CURLAUTH_BASIC : CURLAUTH_BASIC | CURLAUTH_DIGEST));
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_options.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, m_options.password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_options.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, m_options.ca_file.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, m_options.connect_timeout_ms);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, m_options.idle_timeout_s);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Domora");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

    curl_slist* headers = nullptr;
    for (const std::string& h : request.headers) headers = curl_slist_append(headers, h.c_str());
    // No "Expect: 100-continue" round trip before every upload.
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (code != CURLE_OK) {
        if (transfer.spool_error != 0) return Error{std::string("the contacts sync could not keep the server's answer: ") + std::strerror(transfer.spool_error)};
        if (transfer.too_large) return Error{kTooLargePrefix + std::to_string(m_options.max_body / (1024 * 1024)) + " MB"};
        if (code == CURLE_ABORTED_BY_CALLBACK) return Error{"cancelled"};
        std::string reason = m_handle->error[0] ? std::string(m_handle->error) : curl_easy_strerror(code);
        if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_CONNECT_ERROR) {
            reason = "the server's certificate was not accepted: " + reason;
        }
        return Error{reason};
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    if (transfer.spool) {
        if (response.ok()) {
            response.spooled = std::move(transfer.spool);
        } else if (Result<void> back = read_spooled(*transfer.spool, response.body); !back) {
            // Anything else is small and read as it always is: its reason, its DAV:error.
            return back.error();
        }
    }
    if (!m_handle->basic_only && response.status != 401) {
        long offered = 0;
        curl_easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &offered);
        m_handle->basic_only = offered == static_cast<long>(CURLAUTH_BASIC);
    }
    char* effective = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
    // curl puts the user name and password into the address it reports; they must go no further.
    response.url = without_credentials(effective ? effective : request.url);
    return response;
}

bool is_loopback_url(const std::string& url) {
    std::string host = to_lower(url_part(url, CURLUPART_HOST));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host == "localhost" || host == "::1") return true;
    if (host.rfind("127.", 0) != 0) return false;
    // Four numbers, the first 127.
    int dots = 0;
    for (const char c : host) {
        if (c == '.') ++dots;
        else if (c < '0' || c > '9') return false;
    }
    return dots == 3;
}

std::string url_scheme(const std::string& url) { return to_lower(url_part(url, CURLUPART_SCHEME)); }

std::string without_credentials(const std::string& url) {
    CURLU* u = curl_url();
    if (!u) return url;
    std::string out = url;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) == CURLUE_OK) {
        curl_url_set(u, CURLUPART_USER, nullptr, 0);
        curl_url_set(u, CURLUPART_PASSWORD, nullptr, 0);
        curl_url_set(u, CURLUPART_OPTIONS, nullptr, 0);
        char* whole = nullptr;
        if (curl_url_get(u, CURLUPART_URL, &whole, 0) == CURLUE_OK && whole) {
            out = whole;
            curl_free(whole);
        }
    }
    curl_url_cleanup(u);
    return out;
}

std::string url_origin(const std::string& url) {
    const std::string scheme = url_part(url, CURLUPART_SCHEME);
    const std::string host = url_part(url, CURLUPART_HOST);
    if (scheme.empty() || host.empty()) return {};
    const std::string port = url_part(url, CURLUPART_PORT);
    return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

std::string url_path(const std::string& url) {
    const std::string path = url_part(url, CURLUPART_PATH);
    return path.empty() ? "/" : path;
}

std::string resolve_url(const std::string& base, const std::string& reference) {
    CURLU* u = curl_url();
    if (!u) return reference;
    std::string out = reference;
    if (curl_url_set(u, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
        curl_url_set(u, CURLUPART_URL, reference.c_str(), CURLU_PATH_AS_IS) == CURLUE_OK) {
        char* whole = nullptr;
        if (curl_url_get(u, CURLUPART_URL, &whole, 0) == CURLUE_OK && whole) {
            out = whole;
            curl_free(whole);
        }
    }
    curl_url_cleanup(u);
    return without_credentials(out);
}

}  // namespace domora
