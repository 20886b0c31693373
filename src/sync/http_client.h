// HTTP for the contacts sync, through libcurl: HTTP/1.1 on one kept-alive
// connection, Basic and Digest authentication, redirects, proxies from the
// environment, connect and idle timeouts, a cap on every response body, and
// TLS verified against the system's certificate store.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/result.h"

namespace domora {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;
    // A successful answer that may be large (a listing, the cards) goes to an
    // unnamed file as it arrives instead of into memory: see HttpResponse::spooled.
    bool spool_answer = false;
};

// An answer kept in an unnamed file, from its start; closed with the last holder.
struct SpooledBody {
    explicit SpooledBody(int file) : fd(file) {}
    ~SpooledBody();
    SpooledBody(const SpooledBody&) = delete;
    SpooledBody& operator=(const SpooledBody&) = delete;
    int fd;
    std::uint64_t size = 0;
};

struct HttpResponse {
    long status = 0;
    std::string reason;                         // "Unauthorized"
    std::map<std::string, std::string> headers;  // names lower-cased; the last of a repeated header
    std::string body;                           // empty when spooled
    std::shared_ptr<const SpooledBody> spooled;  // a 2xx answer to a request that spools its answer
    std::string url;                            // where the request ended, after redirects

    bool ok() const { return status >= 200 && status < 300; }
    // "" when absent.
    std::string header(const std::string& lower_name) const;
    // "401 Unauthorized"
    std::string status_line() const;
};

// How a body over the cap is reported: the message starts with this, then the cap.
inline const std::string kTooLargePrefix = "the server's answer is larger than ";

struct HttpOptions {
    std::string user;
    std::string password;
    long connect_timeout_ms = 15000;
    // A transfer that moves nothing for this long is given up.
    long idle_timeout_s = 60;
    std::size_t max_body = 64u * 1024 * 1024;
    // Plain http is taken (and redirected to) only when this is set.
    bool allow_plain_http = false;
    // For tests against a private server with its own certificate: a PEM file of the CAs to trust.
    std::string ca_file;
};

// Raised by another thread to stop a transfer; the request then fails with "cancelled".
using CancelFlag = std::atomic<bool>;

class HttpClient {
public:
    explicit HttpClient(HttpOptions options, const CancelFlag* cancel = nullptr);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // A response of any status is a value; only a transfer that did not
    // complete (no connection, a certificate refused, a timeout, a body
    // over the cap, cancelled) is an error, with its reason.
    Result<HttpResponse> send(const HttpRequest& request);

    const HttpOptions& options() const { return m_options; }

private:
    struct Handle;
    HttpOptions m_options;
    const CancelFlag* m_cancel;
    std::unique_ptr<Handle> m_handle;
};

// True for a URL whose host is a loopback address ("localhost", 127.0.0.0/8, [::1]).
bool is_loopback_url(const std::string& url);
// "https" or "http" (lower case) of a URL; "" when it has no scheme.
std::string url_scheme(const std::string& url);
// scheme://host[:port] of a URL, without a path.
std::string url_origin(const std::string& url);
// A reference (absolute, or a path from the server's root) made absolute
// against base; never with credentials in it.
std::string resolve_url(const std::string& base, const std::string& reference);
// The URL without a user name or password in it.
std::string without_credentials(const std::string& url);
// The path of a URL (from the first '/' after the host), "/" when it has none.
std::string url_path(const std::string& url);

}  // namespace domora
