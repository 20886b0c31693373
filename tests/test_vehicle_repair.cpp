// Vehicle repair: the checks, the fresh ids, the lost records, the
// duplicates, the report, and the copy of the file kept before it.
#include <algorithm>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "ui/popups.h"
#include "ui_fixture.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_repair.h"
#include "vehicles/vehicle_repair_action.h"
#include "vehicles/vehicle_store.h"

namespace domora {
namespace {

ChunkHeader dated(int type, int vehicle_id, int record_id, int year, int month, int day) {
    ChunkHeader h;
    h.type = static_cast<std::uint8_t>(type);
    h.vehicle_id = vehicle_id;
    h.record_id = record_id;
    h.year = static_cast<std::uint16_t>(year);
    h.month = static_cast<std::uint8_t>(month);
    h.day = static_cast<std::uint8_t>(day);
    return h;
}

std::string vehicle(int id, const std::string& make, int year = 2020) {
    return encode_chunk(dated(kRecordVehicle, id, 0, year, 1, 1), vehicle_body(make, "Model", "VIN", "LIC", ""));
}

std::string fuel(int vehicle_id, int record_id, int day, int start = 1000, int end = 2000) {
    ChunkHeader h = dated(kRecordFuel, vehicle_id, record_id, 2024, 3, day);
    h.a = start;
    h.b = end;
    h.c = 40000;
    h.d = 60000;
    h.e = 125000;
    return encode_chunk(h, {});
}

std::string service(int vehicle_id, int record_id, int year, int month, int day, const std::string& what) {
    ChunkHeader h = dated(kRecordMaintenance, vehicle_id, record_id, year, month, day);
    h.b = 5000;
    h.d = 120000;
    return encode_chunk(h, maintenance_body(what));
}

class Repair : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        os.now.year = 2026;
        status_log_set_path(path("status.log"));
        app_paths().vehicle_file = path("vehicle11.dat");
        store.set_path(path("vehicle11.dat"));
    }
    void TearDown() override {
        vehicle_manager() = VehicleManager{};
        app_paths() = AppPaths{};
        UiTest::TearDown();
    }
    RepairOutcome repair(const std::string& file) {
        write(path("vehicle11.dat"), file);
        return repair_vehicle_file(store, StoreCallbacks{}, 2026);
    }
    bool logged(const std::string& line) {
        const std::vector<std::string> lines = log_lines(path("status.log"));
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // Every chunk of the repaired file, in file order.
    std::vector<ChunkHeader> chunks() {
        std::vector<ChunkHeader> out;
        for (std::size_t offset : store.chunks()) out.push_back(store.header(offset));
        return out;
    }
    VehicleStore store;
};

TEST_F(Repair, ChunksThatFailACheckAreRemovedAndLoggedOneLineEach) {
    ChunkHeader bad_fuel = dated(kRecordFuel, 1, 5, 2024, 1, 1);
    bad_fuel.c = -1;
    ChunkHeader bad_cost = dated(kRecordMaintenance, 1, 6, 2024, 1, 2);
    bad_cost.d = -5;
    const RepairOutcome o = repair(vehicle(1, "Honda") + service(1, 2, 2300, 5, 1, "Future") + fuel(1, 3, 4, 500, 400) +
                                   encode_chunk(bad_fuel, {}) + encode_chunk(bad_cost, maintenance_body("x")) +
                                   fuel(1, 4, 9) + "junk" + encode_chunk(dated(7, 1, 8, 2024, 1, 1), {}));
    EXPECT_EQ(o.status, RepairOutcome::Repaired);
    EXPECT_EQ(o.corrupted, 4);
    EXPECT_TRUE(logged("Vehicle Repair: Record date out of range - 2300/05/01 - Rec Type: 2"));
    EXPECT_TRUE(logged("Vehicle Repair: Invalid Mileage - 500/400"));
    EXPECT_TRUE(logged("Vehicle Repair: Invalid Fuel - -1"));
    EXPECT_TRUE(logged("Vehicle Repair: Invalid Cost - -5"));
    EXPECT_TRUE(logged("Vehicle Repair: 2 Repair Records"));  // the unknown type is left out, not counted
    const std::vector<ChunkHeader> kept = chunks();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[1].type, kRecordFuel);
    EXPECT_EQ(kept[1].day, 9);
}

TEST_F(Repair, APhotoLargerThanItsChunkIsDroppedAndTheTextsStay) {
    ChunkHeader h = dated(kRecordVehicle, 4, 0, 2019, 1, 1);
    h.f = 5000;  // the chunk holds only 10 photo bytes
    std::string chunk = encode_chunk(h, vehicle_body("Mazda", "3", "VIN9", "XYZ", std::string(10, 'P')));
    const RepairOutcome o = repair(chunk + fuel(4, 1, 2));
    EXPECT_EQ(o.damaged_photos, 1);
    EXPECT_TRUE(logged("Vehicle Repair: Photo was larger than record size"));
    const std::optional<VehicleInfo> v = store.read_vehicle(1);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->make, "Mazda");
    EXPECT_EQ(v->license, "XYZ");
    EXPECT_TRUE(v->photo.empty());
    EXPECT_EQ(store.header(v->offset).length, 52 + 5 + 1 + 4 + 3 + 4);
    EXPECT_EQ(store.header(v->offset).f, 0);
}

TEST_F(Repair, VehiclesAndRecordsGetFreshIdsInFileOrder) {
    // Three vehicles 7, 3 and 9 in file order, of years that keep that order after the sort.
    const RepairOutcome o = repair(vehicle(7, "Seven", 2001) + vehicle(3, "Three", 2002) + vehicle(9, "Nine", 2003) +
                                   fuel(9, 50, 1) + fuel(3, 51, 2) + fuel(7, 52, 3) + fuel(7, 53, 4));
    EXPECT_EQ(o.status, RepairOutcome::Repaired);
    EXPECT_TRUE(logged("Vehicle Repair: New ID Numbers Assigned"));
    std::vector<std::pair<std::string, std::int32_t>> vehicles;
    for (std::size_t offset : store.vehicles()) vehicles.push_back({store.read_vehicle(store.header(offset).vehicle_id)->make, store.header(offset).vehicle_id});
    EXPECT_EQ(vehicles, (std::vector<std::pair<std::string, std::int32_t>>{{"Seven", 1}, {"Three", 2}, {"Nine", 3}}));
    // Records by date: day 1 belongs to Nine, 2 to Three, 3 and 4 to Seven.
    std::vector<std::pair<std::int32_t, std::int32_t>> records;
    for (const ChunkHeader& h : chunks()) {
        if (h.type == kRecordFuel) records.push_back({h.vehicle_id, h.record_id});
    }
    EXPECT_EQ(records, (std::vector<std::pair<std::int32_t, std::int32_t>>{{3, 4}, {2, 3}, {1, 1}, {1, 2}}));
}

TEST_F(Repair, RecordsOfAMissingVehicleGoToANewUnassignedVehicleOfThisYear) {
    const RepairOutcome o = repair(vehicle(1, "Honda") + fuel(1, 1, 1) + fuel(42, 2, 2, 100, 200) + fuel(42, 3, 3, 200, 300));
    EXPECT_EQ(o.lost_records, 2);
    EXPECT_TRUE(logged("Vehicle Repair: 2 unassigned records"));
    std::optional<VehicleInfo> unassigned;
    for (std::size_t offset : store.vehicles()) {
        const std::optional<VehicleInfo> v = store.read_vehicle(store.header(offset).vehicle_id);
        if (v && v->make == "Unassigned") unassigned = v;
    }
    ASSERT_TRUE(unassigned);
    EXPECT_EQ(unassigned->year, "2026");
    EXPECT_EQ(unassigned->vehicle_id, 2);
    EXPECT_EQ(store.header(unassigned->offset).length, 66);
    std::vector<std::int32_t> ids;
    for (const ChunkHeader& h : chunks()) {
        if (h.type == kRecordFuel && h.vehicle_id == 2) ids.push_back(h.record_id);
    }
    // Each keeps an id of its own, so that the screen can find it again.
    EXPECT_EQ(ids, (std::vector<std::int32_t>{2, 3}));
}

TEST_F(Repair, IdenticalRecordsOfOneVehicleAreDuplicatesWhateverTheirIds) {
    const RepairOutcome o = repair(vehicle(1, "Honda") + fuel(1, 10, 5) + service(1, 11, 2024, 3, 6, "Oil") + fuel(1, 12, 5) +
                                   service(1, 13, 2024, 3, 6, "Oil") + service(1, 14, 2024, 3, 6, "Tyres"));
    EXPECT_EQ(o.duplicates, 2);
    EXPECT_EQ(chunks().size(), 4u);
    EXPECT_EQ(repair_report(o), "Repair Complete||0 Corrupted records removed|0 Damaged photos removed|"
                                "0 Lost records reassigned|2 Duplicate records removed||"
                                "The original file was kept as vehicle11.dat.before-repair");
}

TEST_F(Repair, TheFileAsItWasIsKeptBesideItFirst) {
    write(path("vehicle11.dat.before-repair"), "an older copy");
    const std::string original = vehicle(1, "Honda") + "\x01\x02 junk" + fuel(1, 1, 1) + fuel(1, 2, 1);
    const RepairOutcome o = repair(original);
    EXPECT_EQ(o.status, RepairOutcome::Repaired);
    EXPECT_EQ(read(path("vehicle11.dat.before-repair")), original);
    EXPECT_EQ(mode_of(path("vehicle11.dat.before-repair")), 0600u);
    EXPECT_TRUE(logged("Vehicle Repair: Original file kept as vehicle11.dat.before-repair"));
    EXPECT_TRUE(logged("Vehicle Repair: " + std::to_string(original.size())));
    EXPECT_NE(read(path("vehicle11.dat")), original);

    // When the copy cannot be written, nothing is touched.
    const std::string again = read(path("vehicle11.dat"));
    os.fail_writes("before-repair", 0, ENOSPC);
    const RepairOutcome refused = repair_vehicle_file(store, StoreCallbacks{}, 2026);
    EXPECT_EQ(refused.status, RepairOutcome::NotKept);
    EXPECT_EQ(read(path("vehicle11.dat")), again);
    EXPECT_EQ(read(path("vehicle11.dat.before-repair")), original);
}

TEST_F(Repair, AFailedReplacementLeavesTheFileWhole) {
    const std::string original = vehicle(1, "Honda") + fuel(7, 1, 1);
    os.fail_writes(path("vehicle11.dat.tmp"), 10, ENOSPC);
    const RepairOutcome o = repair(original);
    EXPECT_EQ(o.status, RepairOutcome::WriteFailed);
    EXPECT_EQ(o.error, "write: No space left on device");
    EXPECT_EQ(read(path("vehicle11.dat")), original);
    EXPECT_EQ(read(path("vehicle11.dat.before-repair")), original);
}

TEST_F(Repair, TheOptionsButtonReportsWhatWasDoneOrThatThereIsNoFile) {
    run_vehicle_repair();
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "No Vehicle Data File");
    EXPECT_FALSE(test::DomoraTest::mode_of(path("vehicle11.dat.before-repair")) != 0);

    os.message_boxes.clear();
    write(path("vehicle11.dat"), vehicle(5, "Honda") + fuel(5, 1, 1) + fuel(5, 2, 1) + fuel(8, 3, 2));
    run_vehicle_repair();
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text,
              "Repair Complete\r\n\r\n0 Corrupted records removed\r\n0 Damaged photos removed\r\n1 Lost records reassigned\r\n"
              "1 Duplicate records removed\r\n\r\nThe original file was kept as vehicle11.dat.before-repair");
    EXPECT_EQ(vehicle_manager().store.vehicles().size(), 2u);
}

}  // namespace
}  // namespace domora
