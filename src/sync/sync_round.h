// The steps of a sync tied to the program's address book and the state
// file: a snapshot of the book, the apply step through the store's public
// operations, and a whole sync run straight through (the worker thread
// runs the network steps of the same round; tests and tools run it here).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "addresses/address_store.h"
#include "sync/sync_engine.h"

namespace domora {

// The live records of the store.
BookSnapshot book_snapshot(const AddressStore& store);
// The same for a sync with state: a record that its one confirmed contact's
// base matches is marked as_synced instead of carrying its fields.
BookSnapshot book_snapshot(const AddressStore& store, const SyncState& state);

struct ApplyOutcome {
    std::size_t added = 0, changed = 0, deleted = 0;
};

// Step 2 on the store: the changes are applied, the book sorted (which
// writes the address file), then the state saved. The conflicts and kept
// contacts go to the status log. On a failed write nothing is saved to the
// state, so the next sync brings the same changes again. incoming.changes
// are used up.
Result<ApplyOutcome> apply_to_store(Incoming& incoming, AddressStore& store, const std::string& state_path);

// Asked when a sync would delete many contacts; true lets it, false keeps them.
using AskDeletions = std::function<bool(const DeleteCounts&)>;

struct SyncReport {
    std::size_t received_added = 0, received_changed = 0, received_deleted = 0;
    std::size_t sent_added = 0, sent_changed = 0, sent_deleted = 0;
    int rounds = 0;
};

// A whole sync on the calling thread: another round while this one sent
// anything or the server changed cards between the steps, four at most.
Result<SyncReport> sync_address_book(HttpClient& http, const std::string& state_path, AddressStore& store, const AskDeletions& ask,
                                     const UtcTime& now, const SyncProgressFn& progress = {});

}  // namespace domora
