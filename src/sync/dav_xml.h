// The XML of WebDAV and CardDAV, through libxml2: the request bodies the
// sync sends and the multistatus answers it reads. Parsing resolves
// namespaces, never touches the network and loads no external entity or DTD.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace domora {

inline constexpr const char* kDavNs = "DAV:";
inline constexpr const char* kCardDavNs = "urn:ietf:params:xml:ns:carddav";
inline constexpr const char* kCalendarServerNs = "http://calendarserver.org/ns/";

// One <response> of a multistatus, with the properties that came with 200.
struct DavResponse {
    std::string href;
    int status = 0;  // the response's own status line, 0 when it has none (then see the propstats)
    std::string etag;
    bool has_address_data = false;
    std::string address_data;
    std::string displayname;
    bool is_collection = false;
    bool is_addressbook = false;
    bool supports_sync_collection = false;
    std::vector<std::string> principal;  // current-user-principal hrefs
    std::vector<std::string> home_set;   // addressbook-home-set hrefs
    std::string sync_token;  // the DAV:sync-token property
    std::string ctag;        // the CS:getctag property: changes whenever any member does
    int missing_status = 0;  // the status of a propstat that was not 200 (a card not found: 404)
};

struct DavMultistatus {
    std::vector<DavResponse> responses;
    std::string sync_token;
};

Result<DavMultistatus> parse_multistatus(std::string_view xml);
// The same handed over a response at a time as each is read, so that a
// listing of a large book is never held as responses all at once; the
// multistatus's own sync token goes to sync_token.
using DavResponseFn = std::function<void(DavResponse&)>;
Result<void> parse_multistatus_each(std::string_view xml, const DavResponseFn& each, std::string& sync_token);
// The same from a file, read from its start a piece at a time (an answer the HTTP client spooled).
Result<void> parse_multistatus_file(int fd, const DavResponseFn& each, std::string& sync_token);
// The local name of the first child of a <DAV:error> body ("valid-sync-token"), "" when there is none.
std::string dav_error_condition(std::string_view xml);

// ---- request bodies ---------------------------------------------------------------------------

// PROPFIND for current-user-principal (and resourcetype, so a URL that is
// itself an address book says so).
std::string propfind_principal_body();
std::string propfind_home_set_body();
// The collections of a home set: resourcetype, displayname, supported reports.
std::string propfind_collections_body();
// The collection's own DAV:sync-token (depth 0).
std::string propfind_sync_token_body();
// The collection's own CS:getctag (depth 0): a check that costs the server far
// less than a sync-collection report when nothing changed.
std::string propfind_ctag_body();
// getetag of every member (depth 1).
std::string propfind_etags_body();
// An RFC 6578 sync-collection REPORT from token ("" for the initial sync),
// asking for getetag, and for address-data too when with_cards.
std::string sync_collection_body(const std::string& token, bool with_cards = false);
// addressbook-multiget of these hrefs, asking for getetag and address-data.
std::string multiget_body(const std::vector<std::string>& hrefs);
// An addressbook-query with an empty filter, which every card matches, asking for getetag and address-data.
std::string query_all_body();

// An href as a key: percent-escapes decoded where they stand for unreserved
// characters and hex digits upper-cased, so that two spellings of one path compare equal.
std::string normalized_href(std::string_view href);

}  // namespace domora
