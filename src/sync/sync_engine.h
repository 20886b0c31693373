// One sync of the address book with a CardDAV address book, in three steps:
//
//  1. receive (worker thread): the server's changes since the stored token
//     are fetched and weighed against a snapshot of the book; the result is
//     a list of changes for the book and the state that goes with them;
//  2. apply (user-interface thread): the changes go into the book through
//     its public operations, merged with whatever the user changed
//     meanwhile, and the state is saved with the new token;
//  3. send (worker thread): what changed in the book since it last matched
//     the server goes up: new cards with If-None-Match: *, changes with
//     If-Match on the stored ETag, deletions with If-Match. Each step is
//     recorded in the state as it succeeds.
//
// Whatever stops a sync (the network, the server, the program) leaves the
// book and the state in step with each other, and the next sync finishes
// the work: nothing is recorded as done before it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sync/card_mapping.h"
#include "sync/carddav_state.h"
#include "sync/http_client.h"

namespace domora {

// A live record of the book as the sync sees it.
struct BookContact {
    std::int32_t id = 0;
    // The record is as its one contact's base says, which stands for its
    // fields: most of a large book is, and holding it twice would cost as
    // much as the state's fields do.
    bool as_synced = false;
    PackedFields fields;  // empty when as_synced
};
using BookSnapshot = std::vector<BookContact>;

// The records of a snapshot by id, sorted and found by halving: a hash map
// of a large book costs about as much again as the snapshot.
class BookIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    explicit BookIndex(const BookSnapshot& book);
    const BookContact* find(std::int32_t id) const;
    // Where id stands among the sorted records (npos when it is not there), for a flag kept per record.
    std::size_t position(std::int32_t id) const;
    std::size_t size() const { return m_sorted.size(); }

private:
    std::vector<const BookContact*> m_sorted;
};

// A change to a record of the book. New records are not among them: every
// contact of the state without a record (record_id 0) is added, with its base.
struct BookChange {
    enum Kind { Edit, Delete } kind = Edit;
    std::int32_t id = 0;
    AddressFields before;   // the record as the snapshot had it
    AddressFields after;    // Edit
};

struct Incoming {
    SyncState state;                  // with the new token
    std::vector<BookChange> changes;
    std::size_t adds = 0;             // contacts of the state waiting for their record
    std::vector<std::string> log;     // status-log lines: conflicts and kept contacts
    std::size_t server_size = 0;      // cards on the server, as far as the state knows
    bool state_changed = false;       // anything to save: a new token, a card, a contact come or gone
};

// Where a long step is; called on the worker thread.
using SyncProgressFn = std::function<void(const std::string& what, std::size_t done, std::size_t total)>;

// Step 1. The state is taken over (and comes back in the result): a large book's is not copied.
Result<Incoming> receive_changes(HttpClient& http, SyncState state, const BookSnapshot& book, const SyncProgressFn& progress);

// ---- the delete guard ---------------------------------------------------------------------------

struct DeleteCounts {
    std::size_t in_book = 0;    // records the server's deletions take from the book
    std::size_t on_server = 0;  // cards the book's deletions take from the server
    std::size_t book_size = 0;
    std::size_t server_size = 0;
};
DeleteCounts count_deletions(const Incoming& incoming, const BookSnapshot& book);
// More than 20 contacts in all, or more than a quarter of either side.
bool deletions_need_asking(const DeleteCounts& counts);
// The user said no: every contact one side deleted comes back to it instead.
// An error when a card could not be read back from the spool.
Result<void> keep_deleted_contacts(Incoming& incoming, const BookSnapshot& book);

// ---- step 2 ---------------------------------------------------------------------------------------

// The book's public operations, as the apply step needs them.
class BookEditor {
public:
    virtual ~BookEditor() = default;
    virtual std::optional<AddressFields> find(std::int32_t id) = 0;
    // Adds a record; gives its id and the fields as stored (a taken name gets " (2)").
    virtual std::int32_t add(const AddressFields& fields, AddressFields& stored) = 0;
    virtual AddressFields edit(std::int32_t id, const AddressFields& fields) = 0;
    virtual void remove(std::int32_t id) = 0;
    // count adds of fields whose packings take packed_bytes in all are to come.
    virtual void expect_adds(std::size_t count, std::size_t packed_bytes) {
        (void)count;
        (void)packed_bytes;
    }
};

// Puts the changes into the book, keeping what the user changed since the
// snapshot (a field the user changed keeps the user's value; a record the
// user changed is not deleted), and brings incoming.state's contacts up to
// date. An error when a base could not be read or kept: the changes before
// it are in the book and in the state, which is to be kept all the same.
Result<void> apply_changes(Incoming& incoming, BookEditor& book);

// ---- step 3 ---------------------------------------------------------------------------------------

struct Outgoing {
    std::size_t added = 0, changed = 0, deleted = 0;
    // A card changed on the server after step 1 (412): another round settles it.
    bool again = false;
};

// Saves the state as it stands; called after each batch of uploads.
using SaveStateFn = std::function<Result<void>(const SyncState&)>;

// Step 3 on state (updated in place as the server confirms each change).
Result<Outgoing> send_changes(HttpClient& http, SyncState& state, const BookSnapshot& book, const UtcTime& now,
                              const SyncProgressFn& progress, const SaveStateFn& save);

// A fresh random UID (RFC 4122 version 4).
std::string new_uid();

}  // namespace domora
