// The contacts sync's state file: whatever the bytes, every contact read is
// whole, and what was read writes back to bytes that read as the same state,
// which write back to the same bytes.
#include "app/startup.h"
#include "fuzz_support.h"
#include "sync/carddav_state.h"

using namespace domora;

namespace {

bool same(const SyncState& a, const SyncState& b) {
    if (a.server != b.server || a.user != b.user || a.book_url != b.book_url || a.book_name != b.book_name ||
        a.plain_http != b.plain_http || a.token != b.token || a.ctag != b.ctag || a.entries.size() != b.entries.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const SyncEntry& x = a.entries[i];
        const SyncEntry& y = b.entries[i];
        if (x.record_id != y.record_id || x.href != y.href || x.etag != y.etag || x.uid != y.uid || x.base.digest != y.base.digest) return false;
        const Result<std::string> cx = a.card(x), cy = b.card(y);
        if (!cx || !cy || cx.value() != cy.value()) return false;
        const Result<PackedFields> bx = a.base(x), by = b.base(y);
        if (!bx || !by || !(bx.value() == by.value())) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The cards wait in a spool beside the state, in the run's scratch folder, which always has room for them.
    static const bool ready = [] {
        app_paths().carddav_file = fuzz::scratch_path("carddav.dat");
        return true;
    }();
    (void)ready;
    const Result<SyncState> read = parse_sync_state(fuzz::input_text(data, size));
    FUZZ_CHECK(read.ok());
    const SyncState& state = read.value();
    std::size_t bytes = 0;
    for (const SyncEntry& e : state.entries) {
        FUZZ_CHECK(!e.href.empty() && e.record_id >= 0);
        bytes += e.href.size() + e.etag.size() + e.uid.size() + e.card.size;
        const Result<PackedFields> base = state.base(e);
        FUZZ_CHECK(base.ok());
        for (std::size_t f = 0; f < kAddressFieldCount; ++f) bytes += base.value()[f].size();
        FUZZ_CHECK(base.value() == base.value().unpacked() && base_matches(e, base.value()));
    }
    FUZZ_CHECK(bytes <= size);
    const Result<std::string> written = format_sync_state(state);
    FUZZ_CHECK(written.ok());
    const Result<SyncState> again = parse_sync_state(written.value());
    FUZZ_CHECK(again.ok() && same(again.value(), state));
    const Result<std::string> rewritten = format_sync_state(again.value());
    FUZZ_CHECK(rewritten.ok() && rewritten.value() == written.value());
    return 0;
}
