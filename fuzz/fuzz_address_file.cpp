// The address file: whatever the bytes, the view holds only whole records,
// a load, save and load gives the same records, and an append never loses a
// record that was shown.
#include <vector>

#include "addresses/address_store.h"
#include "app/startup.h"
#include "fuzz_support.h"

using namespace domora;

namespace {

std::vector<AddressRecord> shown(const AddressStore& store) {
    std::vector<AddressRecord> out;
    for (int i = 0; i < store.count(); ++i) {
        const std::uint32_t at = store.item(i);
        FUZZ_CHECK(store.length_at(at) >= kAddressRecordHeaderSize);
        FUZZ_CHECK(at + static_cast<std::size_t>(store.length_at(at)) <= store.size());
        out.push_back(store.record_at(at));
    }
    return out;
}

bool same(const AddressRecord& a, const AddressRecord& b) {
    return a.id == b.id && a.live == b.live && a.marks == b.marks && a.fields == b.fields;
}

bool same(const std::vector<AddressRecord>& a, const std::vector<AddressRecord>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same(a[i], b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = fuzz::scratch_path("address10.dat");
    app_paths().address_file = file;
    fuzz::write_scratch(file, fuzz::input_text(data, size));

    AddressStore store;
    FUZZ_CHECK(store.load().ok());
    const std::vector<AddressRecord> before = shown(store);

    // Load, save, load: the same records.
    FUZZ_CHECK(store.write().ok());
    AddressStore again;
    FUZZ_CHECK(again.load().ok());
    FUZZ_CHECK(same(shown(again), before));

    // An append keeps every record that was shown, in place, and adds one.
    AddressValues values;
    values[kFieldFirst] = "Zed";
    values[kFieldLast] = "Fuzz";
    const std::int32_t id = store.new_record_id();
    FUZZ_CHECK(id >= 1);
    const AppendResult added = store.append_record(id, kSelectedMark, values);
    FUZZ_CHECK(store.count() == static_cast<int>(before.size()) + 1);
    FUZZ_CHECK(store.write().ok());
    AddressStore after;
    FUZZ_CHECK(after.load().ok());
    std::vector<AddressRecord> expected = before;
    AddressRecord zed;
    zed.id = id;
    zed.live = true;
    zed.marks = kSelectedMark;
    zed.fields = values;
    zed.fields[kFieldFirst] = added.first;
    expected.push_back(zed);
    FUZZ_CHECK(same(shown(after), expected));
    return 0;
}
