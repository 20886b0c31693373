#include "sync/carddav_client.h"

#include <cctype>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "sync/dav_xml.h"

namespace domora {

namespace {

const char* const kXmlType = "Content-Type: application/xml; charset=utf-8";

// A request whose answer may be large (a listing, the cards) has it spooled to the disk as it comes.
enum class Answer { Small, Large };

Result<HttpResponse> dav_request(HttpClient& http, const char* method, const std::string& url, const char* depth, std::string body,
                                 Answer answer = Answer::Small) {
    HttpRequest request;
    request.spool_answer = answer == Answer::Large;
    request.method = method;
    request.url = url;
    request.headers = {kXmlType};
    if (depth) request.headers.push_back(std::string("Depth: ") + depth);
    request.body = std::move(body);
    return http.send(request);
}

// The responses of a multistatus answer, wherever the answer was kept.
Result<void> each_response(const HttpResponse& r, const DavResponseFn& each, std::string& sync_token) {
    if (r.spooled) return parse_multistatus_file(r.spooled->fd, each, sync_token);
    return parse_multistatus_each(r.body, each, sync_token);
}

// A multistatus from a request that must give one; anything else is an error with the server's reason.
Result<DavMultistatus> multistatus(const Result<HttpResponse>& sent) {
    if (!sent) return sent.error();
    const HttpResponse& r = sent.value();
    if (r.status != 207) return Error{failure_reason(r)};
    DavMultistatus out;
    Result<void> read = each_response(r, [&](DavResponse& one) { out.responses.push_back(std::move(one)); }, out.sync_token);
    if (!read) return read.error();
    return out;
}

std::string last_path_part(const std::string& url) {
    std::string path = url_path(url);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool same_path(const std::string& a, const std::string& b) {
    std::string x = normalized_href(a), y = normalized_href(b);
    while (x.size() > 1 && x.back() == '/') x.pop_back();
    while (y.size() > 1 && y.back() == '/') y.pop_back();
    return x == y;
}

// The address books in a home set.
Result<std::vector<AddressBookInfo>> books_in(HttpClient& http, const std::string& home) {
    const Result<HttpResponse> sent = dav_request(http, "PROPFIND", home, "1", propfind_collections_body());
    Result<DavMultistatus> found = multistatus(sent);
    if (!found) return found.error();
    std::vector<AddressBookInfo> books;
    for (const DavResponse& r : found.value().responses) {
        if (!r.is_addressbook) continue;
        AddressBookInfo book;
        book.url = resolve_url(sent.value().url, r.href);
        book.name = r.displayname.empty() ? last_path_part(book.url) : r.displayname;
        books.push_back(std::move(book));
    }
    return books;
}

// From a context path to the books: it may be a book itself, or lead to a
// principal whose home set holds them.
Result<std::vector<AddressBookInfo>> books_from(HttpClient& http, const std::string& context) {
    const Result<HttpResponse> sent = dav_request(http, "PROPFIND", context, "0", propfind_principal_body());
    Result<DavMultistatus> found = multistatus(sent);
    if (!found) return found.error();
    const std::string at = sent.value().url;
    std::string principal;
    for (const DavResponse& r : found.value().responses) {
        if (r.is_addressbook) return std::vector<AddressBookInfo>{{resolve_url(at, r.href), r.displayname.empty() ? last_path_part(at) : r.displayname}};
        if (principal.empty() && !r.principal.empty()) principal = resolve_url(at, r.principal[0]);
    }
    if (principal.empty()) principal = at;
    const Result<HttpResponse> asked = dav_request(http, "PROPFIND", principal, "0", propfind_home_set_body());
    Result<DavMultistatus> homes = multistatus(asked);
    if (!homes) return homes.error();
    std::vector<std::string> home_sets;
    for (const DavResponse& r : homes.value().responses) {
        for (const std::string& h : r.home_set) home_sets.push_back(resolve_url(asked.value().url, h));
    }
    // A server without home sets may keep the books right under the principal.
    if (home_sets.empty()) home_sets.push_back(principal);
    std::vector<AddressBookInfo> books;
    for (const std::string& home : home_sets) {
        Result<std::vector<AddressBookInfo>> in_home = books_in(http, home);
        if (!in_home) return in_home.error();
        for (AddressBookInfo& b : in_home.value()) books.push_back(std::move(b));
    }
    return books;
}

bool is_auth_failure(const Error& e) { return e.message.rfind("401", 0) == 0 || e.message.rfind("403", 0) == 0; }

// The server answered, with a status other than the one asked for, or with something that is no multistatus.
bool server_answered(const Error& e) {
    const std::string& m = e.message;
    const bool status = m.size() >= 3 && std::isdigit(static_cast<unsigned char>(m[0])) && std::isdigit(static_cast<unsigned char>(m[1])) &&
                        std::isdigit(static_cast<unsigned char>(m[2]));
    return status || m.rfind("the server's answer", 0) == 0;
}

Result<CollectionChanges> full_listing(HttpClient& http, const std::string& book_url) {
    // The token first: what changes while the listing runs is then reported again next time, never lost.
    std::string token;
    Result<DavMultistatus> own = multistatus(dav_request(http, "PROPFIND", book_url, "0", propfind_sync_token_body()));
    if (own) {
        for (const DavResponse& r : own.value().responses) {
            if (!r.sync_token.empty()) token = r.sync_token;
        }
    }
    const Result<HttpResponse> sent = dav_request(http, "PROPFIND", book_url, "1", propfind_etags_body(), Answer::Large);
    if (!sent) return sent.error();
    if (sent.value().status != 207) return Error{failure_reason(sent.value())};
    CollectionChanges changes;
    changes.complete = true;
    changes.token = token;
    std::string unused;
    const Result<void> read = each_response(
        sent.value(),
        [&](DavResponse& r) {
            if (r.is_collection || same_path(r.href, book_url) || r.etag.empty()) return;
            changes.changed.push_back({normalized_href(r.href), std::move(r.etag)});
        },
        unused);
    if (!read) return read.error();
    return changes;
}

// The book's ctag, "" when the server keeps none or the question fails (the report then decides).
std::string book_ctag(HttpClient& http, const std::string& book_url) {
    Result<DavMultistatus> own = multistatus(dav_request(http, "PROPFIND", book_url, "0", propfind_ctag_body()));
    if (!own) return {};
    for (const DavResponse& r : own.value().responses) {
        if (!r.ctag.empty()) return r.ctag;
    }
    return {};
}

// The changes since token, as the server's sync-collection report gives them.
Result<CollectionChanges> changes_since(HttpClient& http, const std::string& book_url, const std::string& token, bool with_cards,
                                        const CardFn& each_card);

bool too_large(const Error& e) { return e.message.rfind(kTooLargePrefix, 0) == 0; }

// A response that holds a card as the server keeps it.
bool carries_card(const DavResponse& r) { return r.has_address_data && !r.etag.empty() && (r.status == 0 || r.status == 200); }

}  // namespace

std::string with_scheme(const std::string& server) {
    std::size_t first = server.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::string text = server.substr(first);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    if (text.find("://") == std::string::npos) text = "https://" + text;
    return text;
}

Result<std::vector<AddressBookInfo>> discover_address_books(HttpClient& http, const std::string& server) {
    const std::string url = with_scheme(server);
    const std::string origin = url_origin(url);
    if (origin.empty()) return Error{"\"" + server + "\" is not a server address"};
    std::vector<std::string> contexts;
    if (url_path(url) != "/") contexts.push_back(url);
    contexts.push_back(origin + "/.well-known/carddav");
    contexts.push_back(origin + "/");
    Error last{"no address book was found on this server"};
    for (const std::string& context : contexts) {
        Result<std::vector<AddressBookInfo>> books = books_from(http, context);
        if (books && !books.value().empty()) return books;
        if (!books) {
            // Wrong credentials stay wrong at every other address; a connection that failed, too.
            if (is_auth_failure(books.error()) || !server_answered(books.error())) return books.error();
            last = books.error();
        }
    }
    return last;
}

Result<CollectionChanges> collection_changes(HttpClient& http, const std::string& book_url, const std::string& token, const std::string& ctag,
                                             const CardFn& each_card) {
    // Asked before the changes, so that whatever changes while they are read
    // moves the ctag past the one kept, and is asked for again next time.
    const std::string now_ctag = book_ctag(http, book_url);
    if (!token.empty() && !ctag.empty() && now_ctag == ctag) {
        CollectionChanges same;
        same.token = token;
        same.ctag = ctag;
        same.unchanged = true;
        return same;
    }
    // The cards are asked for with the changes, even in the initial report:
    // a server that gives them spares itself the multigets, having read
    // every card to answer anyway.
    Result<CollectionChanges> listed = changes_since(http, book_url, token, true, each_card);
    if (!listed && too_large(listed.error())) listed = changes_since(http, book_url, token, false, each_card);
    if (listed) listed.value().ctag = now_ctag;
    return listed;
}

namespace {

Result<CollectionChanges> changes_since(HttpClient& http, const std::string& book_url, const std::string& token, bool with_cards,
                                        const CardFn& each_card) {
    CollectionChanges changes;
    changes.complete = token.empty();
    std::string from = token;
    // A server may hand the changes over in parts (507 on the collection): ask again from each part's token.
    for (int part = 0; part < 1000; ++part) {
        const Result<HttpResponse> sent = dav_request(http, "REPORT", book_url, "0", sync_collection_body(from, with_cards), Answer::Large);
        if (!sent) return sent.error();
        const HttpResponse& r = sent.value();
        if (r.status != 207) {
            // A refused token (valid-sync-token), or no sync-collection at all: list everything.
            const bool book_gone = r.status == 404 && dav_error_condition(r.body).empty();
            if (!book_gone && (r.status == 400 || r.status == 403 || r.status == 404 || r.status == 405 || r.status == 409 ||
                               r.status == 412 || r.status == 415 || r.status == 500 || r.status == 501)) {
                return full_listing(http, book_url);
            }
            return Error{failure_reason(r)};
        }
        bool truncated = false;
        std::string next_token;
        const Result<void> read = each_response(
            r,
            [&](DavResponse& m) {
                if (same_path(m.href, book_url)) {
                    truncated = truncated || m.status == 507;
                    return;
                }
                std::string href = normalized_href(m.href);
                if (m.status == 404) {
                    changes.removed.push_back(std::move(href));
                } else if (m.etag.empty()) {
                    return;
                } else if (carries_card(m)) {
                    FetchedCard card{std::move(href), std::move(m.etag), std::move(m.address_data)};
                    if (each_card) each_card(card);
                    else changes.cards.push_back(std::move(card));
                } else {
                    changes.changed.push_back({std::move(href), std::move(m.etag)});
                }
            },
            next_token);
        if (!read) return read.error();
        changes.token = std::move(next_token);
        if (!truncated || changes.token.empty() || changes.token == from) break;
        from = changes.token;
    }
    return changes;
}

}  // namespace

namespace {

// Every card of the book by one addressbook-query, those among wanted
// handed over a batch at a time; gives the hrefs it did not bring, or
// nothing when the server does not answer such a query, or too largely.
Result<std::optional<std::vector<std::string>>> query_cards(HttpClient& http, const std::string& book_url,
                                                            const std::vector<std::string>& wanted, const CardBatchFn& each) {
    using Left = std::optional<std::vector<std::string>>;
    const Result<HttpResponse> sent = dav_request(http, "REPORT", book_url, "1", query_all_body(), Answer::Large);
    if (!sent) return too_large(sent.error()) ? Result<Left>(Left()) : Result<Left>(sent.error());
    if (sent.value().status == 401) return Error{failure_reason(sent.value())};
    if (sent.value().status != 207) return Left();
    std::unordered_map<std::string_view, bool> came;  // wanted, and whether it came
    for (const std::string& href : wanted) came.emplace(href, false);
    std::size_t count = 0;
    std::vector<FetchedCard> batch;
    std::string unused;
    const Result<void> read = each_response(
        sent.value(),
        [&](DavResponse& r) {
            if (!carries_card(r)) return;
            std::string href = normalized_href(r.href);
            const auto asked = came.find(href);
            if (asked == came.end() || asked->second) return;
            asked->second = true;
            batch.push_back({std::move(href), std::move(r.etag), std::move(r.address_data)});
            if (++count % (kMultigetBatch * 5) == 0) {
                each(batch, count);
                batch.clear();
            }
        },
        unused);
    if (!read) return Left();
    each(batch, count);
    std::vector<std::string> left;
    for (const std::string& href : wanted) {
        if (!came.at(href)) left.push_back(href);
    }
    return Left(std::move(left));
}

Result<void> multiget_cards(HttpClient& http, const std::string& book_url, const std::vector<std::string>& hrefs, std::size_t asked_before,
                            const CardBatchFn& each) {
    std::vector<FetchedCard> cards;
    for (std::size_t start = 0; start < hrefs.size(); start += kMultigetBatch) {
        const std::size_t end = std::min(hrefs.size(), start + kMultigetBatch);
        const std::vector<std::string> batch(hrefs.begin() + static_cast<std::ptrdiff_t>(start), hrefs.begin() + static_cast<std::ptrdiff_t>(end));
        Result<DavMultistatus> found = multistatus(dav_request(http, "REPORT", book_url, "1", multiget_body(batch), Answer::Large));
        if (!found) return found.error();
        cards.clear();
        for (DavResponse& r : found.value().responses) {
            if (!carries_card(r)) continue;
            cards.push_back({normalized_href(r.href), std::move(r.etag), std::move(r.address_data)});
        }
        each(cards, asked_before + end);
    }
    return {};
}

}  // namespace

Result<void> fetch_cards_each(HttpClient& http, const std::string& book_url, const std::vector<std::string>& hrefs, const CardBatchFn& each) {
    if (hrefs.size() < kQueryFrom) return multiget_cards(http, book_url, hrefs, 0, each);
    const Result<std::optional<std::vector<std::string>>> left = query_cards(http, book_url, hrefs, each);
    if (!left) return left.error();
    if (!left.value()) return multiget_cards(http, book_url, hrefs, 0, each);
    return multiget_cards(http, book_url, *left.value(), hrefs.size() - left.value()->size(), each);
}

Result<std::vector<FetchedCard>> fetch_cards(HttpClient& http, const std::string& book_url, const std::vector<std::string>& hrefs) {
    std::vector<FetchedCard> cards;
    Result<void> fetched = fetch_cards_each(http, book_url, hrefs, [&](std::vector<FetchedCard>& batch, std::size_t) {
        for (FetchedCard& c : batch) cards.push_back(std::move(c));
    });
    if (!fetched) return fetched.error();
    return cards;
}

Result<PutOutcome> put_card(HttpClient& http, const std::string& book_url, const std::string& href, const std::string& card,
                            const std::string& if_match, bool create) {
    HttpRequest request;
    request.method = "PUT";
    request.url = resolve_url(book_url, href);
    request.headers = {"Content-Type: text/vcard; charset=utf-8"};
    if (create) request.headers.push_back("If-None-Match: *");
    else if (!if_match.empty()) request.headers.push_back("If-Match: " + if_match);
    request.body = card;
    Result<HttpResponse> sent = http.send(request);
    if (!sent) return sent.error();
    PutOutcome out;
    out.status = sent.value().status;
    out.status_line = failure_reason(sent.value());
    const std::string etag = sent.value().header("etag");
    // A weak ETag says the server changed what it stored: the card is fetched again.
    if (etag.rfind("W/", 0) != 0) out.etag = etag;
    return out;
}

Result<long> delete_card(HttpClient& http, const std::string& book_url, const std::string& href, const std::string& etag) {
    HttpRequest request;
    request.method = "DELETE";
    request.url = resolve_url(book_url, href);
    if (!etag.empty()) request.headers.push_back("If-Match: " + etag);
    Result<HttpResponse> sent = http.send(request);
    if (!sent) return sent.error();
    return sent.value().status;
}

std::string failure_reason(const HttpResponse& response) {
    const std::string line = response.status_line();
    switch (response.status) {
        case 401: return line + ": check the user name and password";
        case 403: return line + ": the server does not let this user at the address book";
        case 404: return line + ": check the server address";
        case 507: return line + ": the server has no room left";
        default: return line;
    }
}

}  // namespace domora
