// Sending the book's changes: new cards, changed cards and deletions, each
// recorded in the state once the server confirmed it.
#include <cstdio>
#include <random>
#include <unordered_map>

#include "sync/carddav_client.h"
#include "sync/sync_engine.h"

namespace domora {

namespace {

constexpr std::size_t kSaveEvery = 200;

std::string collection_path(const std::string& book_url) {
    std::string path = url_path(book_url);
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool created(long status) { return status == 200 || status == 201 || status == 204; }

class Sender {
public:
    Sender(HttpClient& http, SyncState& state, const UtcTime& now, const SyncProgressFn& progress, const SaveStateFn& save, std::size_t total)
        : m_http(http), m_state(state), m_now(now), m_progress(progress), m_save(save), m_total(total) {}

    Result<void> save() {
        if (!m_dirty || !m_save) return {};
        m_dirty = false;
        return m_save(m_state);
    }
    void touched() { m_dirty = true; }
    // After each change: the progress, and now and then the state.
    Result<void> step() {
        ++m_done;
        if (m_progress) m_progress("Sending contacts", m_done, m_total);
        if (m_done % kSaveEvery == 0) return save();
        return {};
    }

    // A PUT that creates entry's card; one more try under a fresh UID when the name is taken.
    Result<void> create(std::size_t index, const AddressFields& fields) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            SyncEntry& e = m_state.entries[index];
            Result<std::string> card = m_state.card(e);
            if (!card) return card.error();
            Result<PutOutcome> put = put_card(m_http, m_state.book_url, e.href.str(), card.value(), "", true);
            if (!put) return put.error();
            if (created(put.value().status)) {
                confirm(index, put.value().etag);
                ++out.added;
                return {};
            }
            if (put.value().status != 412) return Error{put.value().status_line};
            // Taken: by our own upload that went through unrecorded, or by another card.
            Result<std::vector<FetchedCard>> there = fetch_cards(m_http, m_state.book_url, {e.href.str()});
            if (!there) return there.error();
            m_dirty = true;
            if (!there.value().empty() && card_uid(there.value()[0].card) == e.uid) {
                e.etag = there.value()[0].etag;
                if (Result<void> kept = m_state.set_card(e, there.value()[0].card); !kept) return kept.error();
                ++out.added;
                return {};
            }
            e.uid = new_uid();
            e.href = collection_path(m_state.book_url) + e.uid + ".vcf";
            if (Result<void> kept = m_state.set_card(e, new_card(fields, e.uid.str(), m_now)); !kept) return kept.error();
        }
        out.again = true;
        return {};
    }

    Result<void> update(std::size_t index, const AddressFields& fields) {
        SyncEntry& e = m_state.entries[index];
        Result<std::string> as_seen = m_state.card(e);
        if (!as_seen) return as_seen.error();
        Result<PackedFields> base = m_state.base(e);
        if (!base) return base.error();
        const AddressFields server = card_fields(as_seen.value());
        FieldSet changed = changed_fields(base.value(), fields);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (fields[f] == server[f]) changed.reset(f);
        }
        if (changed.none()) {
            m_dirty = true;
            return m_state.set_base(e, fields);
        }
        const std::string uid = e.uid.empty() ? new_uid() : e.uid.str();
        const std::string card = patched_card(as_seen.value(), fields, changed, uid, m_now);
        Result<PutOutcome> put = put_card(m_http, m_state.book_url, e.href.str(), card, e.etag.str(), false);
        if (!put) return put.error();
        const long status = put.value().status;
        if (status == 412 || status == 404) {
            out.again = true;  // changed or deleted on the server since: the next round merges
            return {};
        }
        if (!created(status)) return Error{put.value().status_line};
        // Sent and taken: what the server holds now is recorded even if the
        // spool could not keep it (the ETag left unknown fetches it again).
        const Result<void> kept = m_state.set_card(e, card);
        const Result<void> kept_base = kept ? m_state.set_base(e, fields) : kept;
        e.uid = uid;
        confirm(index, kept_base ? put.value().etag : std::string());
        ++out.changed;
        return kept_base;
    }

    // True when the entry is to go: deleted, or gone already.
    Result<bool> remove(const SyncEntry& e) {
        Result<long> status = delete_card(m_http, m_state.book_url, e.href.str(), e.etag.str());
        if (!status) return status.error();
        if (status.value() == 412) {
            out.again = true;  // changed on the server: the next round keeps it
            return false;
        }
        if (status.value() == 404 || created(status.value())) {
            ++out.deleted;
            return true;
        }
        HttpResponse r;
        r.status = status.value();
        return Error{failure_reason(r)};
    }

    // Cards whose stored form the server did not confirm (no ETag) are fetched as the server keeps them.
    Result<void> fetch_unconfirmed() {
        if (m_unconfirmed.empty()) return {};
        std::vector<std::string> hrefs;
        std::unordered_map<std::string, std::size_t> where;
        for (const std::size_t i : m_unconfirmed) {
            hrefs.push_back(m_state.entries[i].href.str());
            where[m_state.entries[i].href.str()] = i;
        }
        Result<std::vector<FetchedCard>> cards = fetch_cards(m_http, m_state.book_url, hrefs);
        if (!cards) return cards.error();
        for (FetchedCard& c : cards.value()) {
            const auto at = where.find(c.href);
            if (at == where.end()) continue;
            SyncEntry& e = m_state.entries[at->second];
            if (Result<void> kept = m_state.set_card(e, c.card); !kept) return kept.error();
            m_dirty = true;
            e.etag = std::move(c.etag);
        }
        m_unconfirmed.clear();
        return {};
    }

    Outgoing out;

private:
    void confirm(std::size_t index, const std::string& etag) {
        m_dirty = true;
        m_state.entries[index].etag = etag;
        if (etag.empty()) m_unconfirmed.push_back(index);
    }

    HttpClient& m_http;
    SyncState& m_state;
    const UtcTime& m_now;
    const SyncProgressFn& m_progress;
    const SaveStateFn& m_save;
    std::size_t m_total;
    std::size_t m_done = 0;
    std::vector<std::size_t> m_unconfirmed;
    bool m_dirty = false;
};

}  // namespace

std::string new_uid() {
    static thread_local std::mt19937_64 engine{std::random_device{}() ^ (static_cast<std::uint64_t>(std::random_device{}()) << 32)};
    const std::uint64_t a = engine(), b = engine();
    unsigned char bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(a >> (8 * i));
        bytes[8 + i] = static_cast<unsigned char>(b >> (8 * i));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0], bytes[1], bytes[2],
                  bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13],
                  bytes[14], bytes[15]);
    return text;
}

Result<Outgoing> send_changes(HttpClient& http, SyncState& state, const BookSnapshot& book, const UtcTime& now,
                              const SyncProgressFn& progress, const SaveStateFn& save) {
    const BookIndex by_id(book);
    std::vector<bool> linked(by_id.size(), false);
    std::vector<std::size_t> unsent, changed, gone;
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        const SyncEntry& e = state.entries[i];
        if (e.record_id == 0) continue;
        const std::size_t at = by_id.position(e.record_id);
        if (at == BookIndex::npos) {
            gone.push_back(i);
            continue;
        }
        linked[at] = true;
        const BookContact* found = by_id.find(e.record_id);
        if (e.etag.empty()) unsent.push_back(i);
        else if (!found->as_synced && !base_matches(e, found->fields)) changed.push_back(i);
    }
    std::vector<const BookContact*> fresh;
    for (const BookContact& c : book) {
        if (!linked[by_id.position(c.id)]) fresh.push_back(&c);
    }
    Sender sender(http, state, now, progress, save, fresh.size() + unsent.size() + changed.size() + gone.size());

    // New cards are recorded before they go up, so a sync stopped halfway
    // finds them on the server next time instead of sending them twice.
    const std::string folder = collection_path(state.book_url);
    for (const BookContact* c : fresh) {
        SyncEntry e;
        e.record_id = c->id;
        e.uid = new_uid();
        e.href = folder + e.uid + ".vcf";
        if (Result<void> kept = state.set_card(e, new_card(c->fields.unpacked(), e.uid.str(), now)); !kept) return kept.error();
        if (Result<void> kept = state.set_base(e, c->fields); !kept) return kept.error();
        unsent.push_back(state.entries.size());
        state.entries.push_back(std::move(e));
    }
    if (!fresh.empty()) {
        sender.touched();
        if (Result<void> saved = sender.save(); !saved) return saved.error();
    }
    std::vector<bool> erase(state.entries.size(), false);
    auto finish = [&](Result<void> failed) -> Result<Outgoing> {
        // What went through is kept whatever stopped the rest.
        (void)sender.fetch_unconfirmed();
        // In place: a second vector of every contact would double what the state holds.
        std::size_t to = 0;
        for (std::size_t k = 0; k < state.entries.size(); ++k) {
            if (erase[k]) continue;
            if (to != k) state.entries[to] = std::move(state.entries[k]);
            ++to;
        }
        state.entries.resize(to);
        const Result<void> saved = sender.save();
        if (!failed) return failed.error();
        if (!saved) return saved.error();
        return sender.out;
    };
    for (const std::size_t i : unsent) {
        const AddressFields fields = by_id.find(state.entries[i].record_id)->fields.unpacked();
        if (Result<void> r = sender.create(i, fields); !r) return finish(r);
        if (Result<void> r = sender.step(); !r) return finish(r);
    }
    for (const std::size_t i : changed) {
        if (Result<void> r = sender.update(i, by_id.find(state.entries[i].record_id)->fields.unpacked()); !r) return finish(r);
        if (Result<void> r = sender.step(); !r) return finish(r);
    }
    for (const std::size_t i : gone) {
        Result<bool> removed = sender.remove(state.entries[i]);
        if (!removed) return finish(removed.error());
        erase[i] = removed.value();
        if (erase[i]) sender.touched();
        if (Result<void> r = sender.step(); !r) return finish(r);
    }
    return finish({});
}

}  // namespace domora
