// The vehicle file: whatever the bytes, both lists hold only whole chunks, a
// load, save and load keeps every live chunk byte for byte, and a record
// appended before a save is never lost nor takes another with it.
#include <algorithm>
#include <vector>

#include "app/settings.h"
#include "fuzz_support.h"
#include "vehicles/vehicle_store.h"

using namespace domora;

namespace {

// The live chunks of the image, each as its bytes, in sorted order.
std::vector<std::string> live_chunks(const VehicleStore& store) {
    std::vector<std::string> out;
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        FUZZ_CHECK(h.length >= static_cast<std::int32_t>(kChunkHeaderSize));
        FUZZ_CHECK(offset + static_cast<std::size_t>(h.length) <= store.image().size());
        if (h.type != kRecordDeleted) out.push_back(store.image().substr(offset, static_cast<std::size_t>(h.length)));
    }
    std::sort(out.begin(), out.end());
    return out;
}

void check_lists(const VehicleStore& store) {
    for (std::size_t offset : store.vehicles()) FUZZ_CHECK(store.header(offset).type == kRecordVehicle);
    for (std::size_t offset : store.records()) {
        const ChunkHeader h = store.header(offset);
        FUZZ_CHECK(h.type == kRecordFuel || h.type == kRecordMaintenance);
        FUZZ_CHECK(h.vehicle_id == store.current_vehicle_id());
        (void)store.description(offset);
    }
    if (!store.vehicles().empty()) {
        const std::optional<VehicleInfo> vehicle = store.current_vehicle();
        FUZZ_CHECK(vehicle.has_value());
        (void)store.vehicle_heading(vehicle->offset);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string file = fuzz::scratch_path("vehicle11.dat");
    fuzz::fuzz_platform().message_boxes.clear();
    settings().vehicle_id = 0;
    fuzz::write_scratch(file, fuzz::input_text(data, size));

    VehicleStore store(file);
    store.load();
    check_lists(store);
    const std::vector<std::string> before = live_chunks(store);

    // A fill-up of the current vehicle, added before the save.
    const NewIds ids = store.new_ids();
    ChunkHeader fill;
    fill.type = kRecordFuel;
    fill.vehicle_id = store.current_vehicle_id();
    fill.record_id = ids.record_id;
    fill.year = 2024;
    fill.month = 3;
    fill.day = 7;
    fill.a = 100;
    fill.b = 200;
    fill.c = 1000;
    store.append_chunk(fill, {});
    std::vector<std::string> expected = before;
    expected.push_back(encode_chunk(fill, {}));
    std::sort(expected.begin(), expected.end());

    // Load, save, load: every live chunk, byte for byte, and the new one.
    if (store.image().size() >= kChunkHeaderSize) {
        FUZZ_CHECK(store.save().ok());
        check_lists(store);
        std::size_t total = 0;
        for (const std::string& chunk : expected) total += chunk.size();
        // A file of one bare header's size or less is read as empty.
        if (total <= kChunkHeaderSize) expected.clear();
        FUZZ_CHECK(live_chunks(store) == expected);
        VehicleStore again(file);
        again.load();
        FUZZ_CHECK(live_chunks(again) == expected);
        FUZZ_CHECK(again.corrupt_at_load() == 0);
    }
    return 0;
}
