#include "sync/sync_round.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "addresses/address_list.h"
#include "addresses/address_records.h"
#include "app/status_log.h"

namespace domora {

namespace {

constexpr int kMostRounds = 4;

class StoreBook : public BookEditor {
public:
    explicit StoreBook(AddressStore& store) : m_index(store) {}

    std::optional<AddressFields> find(std::int32_t id) override {
        std::optional<AddressRecord> record = m_index.find(id);
        if (!record) return std::nullopt;
        return record->fields;
    }
    std::int32_t add(const AddressFields& fields, AddressFields& stored) override {
        ++outcome.added;
        return m_index.add(fields, stored);
    }
    AddressFields edit(std::int32_t id, const AddressFields& fields) override {
        AddressFields stored = fields;
        if (m_index.edit(id, fields, stored)) ++outcome.changed;
        return stored;
    }
    void remove(std::int32_t id) override {
        if (m_index.remove(id)) ++outcome.deleted;
    }
    void expect_adds(std::size_t count, std::size_t packed_bytes) override {
        // A record is its header and each field ended by a zero byte, which
        // the packing's length bytes match; a name suffix may take a few more.
        m_index.reserve_adds(count, packed_bytes + count * (kAddressRecordHeaderSize + kAddressFieldCount + 8));
    }
    bool changed() const { return m_index.changed(); }

    ApplyOutcome outcome;

private:
    AddressRecordIndex m_index;
};

}  // namespace

BookSnapshot book_snapshot(const AddressStore& store) {
    BookSnapshot book;
    // The list holds the live records: room for them at once, not by doubling.
    book.reserve(static_cast<std::size_t>(store.count()));
    store.each_frame([&](std::uint32_t offset) {
        if (store.live_at(offset)) {
            const AddressRecord r = store.record_at(offset);
            book.push_back({r.id, false, r.fields});
        }
        return true;
    });
    book.shrink_to_fit();
    return book;
}

BookSnapshot book_snapshot(const AddressStore& store, const SyncState& state) {
    // Record id and entry, sorted by id: a record with two contacts is left
    // to be weighed against each of them.
    std::vector<std::pair<std::int32_t, std::uint32_t>> linked;
    linked.reserve(state.entries.size());
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        if (state.entries[i].record_id != 0) linked.emplace_back(state.entries[i].record_id, static_cast<std::uint32_t>(i));
    }
    std::sort(linked.begin(), linked.end());
    const auto sole_confirmed = [&](std::int32_t id) -> const SyncEntry* {
        const auto at = std::lower_bound(linked.begin(), linked.end(), std::pair<std::int32_t, std::uint32_t>(id, 0));
        if (at == linked.end() || at->first != id) return nullptr;
        if (std::next(at) != linked.end() && std::next(at)->first == id) return nullptr;
        const SyncEntry& e = state.entries[at->second];
        return e.etag.empty() ? nullptr : &e;
    };
    BookSnapshot book;
    book.reserve(static_cast<std::size_t>(store.count()));
    std::string packing;  // each record's, in one room
    store.each_frame([&](std::uint32_t offset) {
        if (!store.live_at(offset)) return true;
        const AddressRecord r = store.record_at(offset);
        PackedFields::pack(r.fields, packing);
        const SyncEntry* e = sole_confirmed(r.id);
        if (e != nullptr && base_matches_packing(*e, packing)) {
            book.push_back({r.id, true, {}});
        } else {
            book.push_back({r.id, false, PackedFields::from_bytes(packing)});
        }
        return true;
    });
    book.shrink_to_fit();
    return book;
}

Result<ApplyOutcome> apply_to_store(Incoming& incoming, AddressStore& store, const std::string& state_path) {
    // Most syncs bring nothing to put in: the book's index is made only for those that do.
    const std::vector<SyncEntry>& entries = incoming.state.entries;
    const bool to_apply =
        !incoming.changes.empty() || std::any_of(entries.begin(), entries.end(), [](const SyncEntry& e) { return e.record_id == 0; });
    std::optional<StoreBook> book;
    Result<void> applied;
    if (to_apply) applied = apply_changes(incoming, book.emplace(store));
    // Applied: the changes are let go before the book and the state are
    // written, which is when a first sync of a large book holds the most.
    std::vector<BookChange>().swap(incoming.changes);
    incoming.adds = 0;
    if (book && book->changed()) {
        const Result<void> sorted = sort_addresses(store);
        if (!sorted) return sorted.error();
    }
    // The book's index is let go before the state is written.
    const ApplyOutcome outcome = book ? book->outcome : ApplyOutcome{};
    book.reset();
    for (const std::string& line : incoming.log) status_log_write(line);
    // Kept even when not all went in: the records added are the state's now.
    if (incoming.state_changed || !applied) {
        const Result<void> saved = write_sync_state(state_path, incoming.state);
        if (!saved) return saved.error();
    }
    if (!applied) return applied.error();
    return outcome;
}

Result<SyncReport> sync_address_book(HttpClient& http, const std::string& state_path, AddressStore& store, const AskDeletions& ask,
                                     const UtcTime& now, const SyncProgressFn& progress) {
    Result<SyncState> loaded = read_sync_state(state_path);
    if (!loaded) return loaded.error();
    SyncState state = std::move(loaded.value());
    if (!state.configured()) return Error{"the contacts sync is not set up"};
    SyncReport report;
    const SaveStateFn save = [&state_path](const SyncState& s) { return write_sync_state(state_path, s); };
    // A round after one that sent anything brings the token past our own
    // uploads: a server need not report a card as removed when it was
    // added after the token in hand.
    for (int round = 0; round < kMostRounds; ++round) {
        ++report.rounds;
        BookSnapshot before = book_snapshot(store, state);
        Result<Incoming> incoming = receive_changes(http, std::move(state), before, progress);
        if (!incoming) return incoming.error();
        const DeleteCounts counts = count_deletions(incoming.value(), before);
        if (deletions_need_asking(counts) && !(ask && ask(counts))) {
            if (Result<void> kept = keep_deleted_contacts(incoming.value(), before); !kept) return kept.error();
        }
        // The snapshot the changes were weighed against is done with before
        // they go in: the send step takes one of its own.
        BookSnapshot().swap(before);
        Result<ApplyOutcome> applied = apply_to_store(incoming.value(), store, state_path);
        if (!applied) return applied.error();
        report.received_added += applied.value().added;
        report.received_changed += applied.value().changed;
        report.received_deleted += applied.value().deleted;
        state = std::move(incoming.value().state);
        Result<Outgoing> sent = send_changes(http, state, book_snapshot(store, state), now, progress, save);
        if (!sent) return sent.error();
        report.sent_added += sent.value().added;
        report.sent_changed += sent.value().changed;
        report.sent_deleted += sent.value().deleted;
        if (!sent.value().again && sent.value().added + sent.value().changed + sent.value().deleted == 0) break;
    }
    return report;
}

}  // namespace domora
