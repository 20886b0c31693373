// The CardDAV requests the sync makes: discovery of the user's address
// books (RFC 6764 and RFC 6352), the changes since a sync token (RFC 6578)
// or a full listing of hrefs and ETags, addressbook-multiget, and
// conditional uploads and deletions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/result.h"
#include "sync/http_client.h"

namespace domora {

struct AddressBookInfo {
    std::string url;   // absolute
    std::string name;  // display name, or the last part of the path
};

// Where a server address leads: the user's address books. server may lack
// the scheme ("https://" is assumed) and may be the address of a book itself.
Result<std::vector<AddressBookInfo>> discover_address_books(HttpClient& http, const std::string& server);
// "https://" in front of an address without a scheme.
std::string with_scheme(const std::string& server);

struct MemberEtag {
    std::string href;  // normalised path
    std::string etag;
};

struct FetchedCard {
    std::string href;  // normalised path
    std::string etag;
    std::string card;  // UTF-8
};

struct CollectionChanges {
    std::vector<MemberEtag> changed;  // new or changed members whose cards did not come with the changes
    // New or changed members with their cards: the report asks for them,
    // which spares a multiget where the server gives them.
    std::vector<FetchedCard> cards;
    std::vector<std::string> removed;
    std::string token;
    // The book's ctag as it was before the changes were asked for ("" when the server has none).
    std::string ctag;
    // The ctag was the one in hand: nothing changed, and nothing was asked beyond it.
    bool unchanged = false;
    // The changes are every member there is (an initial sync or a full
    // listing): a known member that is not among them is gone.
    bool complete = false;
};

// The changes since token ("" for all members). A server that refuses the
// token or does not do sync-collection gives a full listing (PROPFIND depth 1) instead.
// The cards come with the changes where the server gives them, unless they
// would not fit in one answer: then the changes are asked again without.
// With a token and the ctag that went with it, the ctag is asked first: the
// same one again means no changes, without the report.
// When each_card is given, the cards go to it one by one as the answer is
// read instead of into cards, so that a first sync never holds them all.
using CardFn = std::function<void(FetchedCard&)>;
Result<CollectionChanges> collection_changes(HttpClient& http, const std::string& book_url, const std::string& token,
                                             const std::string& ctag = {}, const CardFn& each_card = {});

// The cards of these hrefs, in batches; hrefs the server no longer has are left out.
Result<std::vector<FetchedCard>> fetch_cards(HttpClient& http, const std::string& book_url, const std::vector<std::string>& hrefs);
// The same handed over a batch at a time, with the number of hrefs asked for so far:
// a large book's cards need never be held all at once. Many cards are asked
// for all at once by an addressbook-query, which a server answers in one
// pass where a multiget may look each card up afresh (Xandikos takes a tenth
// of a second a card in a book of 10,000); what the query does not bring, a
// multiget does.
using CardBatchFn = std::function<void(std::vector<FetchedCard>& batch, std::size_t asked)>;
Result<void> fetch_cards_each(HttpClient& http, const std::string& book_url, const std::vector<std::string>& hrefs, const CardBatchFn& each);

struct PutOutcome {
    long status = 0;
    std::string etag;  // "" when the server gave none (or a weak one): the card must be fetched again
    std::string status_line;
};
// PUT of a card; if_match "" with create = true sends If-None-Match: *.
Result<PutOutcome> put_card(HttpClient& http, const std::string& book_url, const std::string& href, const std::string& card,
                            const std::string& if_match, bool create);
// DELETE with If-Match when etag is known; the status as the server gave it.
Result<long> delete_card(HttpClient& http, const std::string& book_url, const std::string& href, const std::string& etag);

// The reason a request failed, as the user reads it: "401 Unauthorized: check the user name and password".
std::string failure_reason(const HttpResponse& response);

// Cards asked for in one multiget: few enough for a slow server to answer well within the idle timeout.
inline constexpr std::size_t kMultigetBatch = 100;
// From this many cards on they are asked for by one query of every card.
inline constexpr std::size_t kQueryFrom = 100;

}  // namespace domora
