// The vehicle file: its chunk layout, the walks over damaged files, the two
// lists, totals and average economy, the sorted save, ids and vehicles.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "other_program.h"
#include "support.h"
#include "vehicles/vehicle_store.h"

namespace domora {
namespace {

std::string data_file(const std::string& name) {
    return std::string(DOMORA_TEST_DATA_DIR "/") + name;
}

ChunkHeader vehicle_header(int vehicle_id, int record_id, int year) {
    ChunkHeader h;
    h.type = kRecordVehicle;
    h.vehicle_id = vehicle_id;
    h.record_id = record_id;
    h.year = static_cast<std::uint16_t>(year);
    h.month = 1;
    h.day = 1;
    return h;
}

std::string vehicle(int vehicle_id, int record_id, int year, const std::string& make, const std::string& model,
                    const std::string& photo = "") {
    ChunkHeader h = vehicle_header(vehicle_id, record_id, year);
    h.f = static_cast<std::int32_t>(photo.size());
    return encode_chunk(h, vehicle_body(make, model, "VIN" + std::to_string(vehicle_id), "LIC", photo));
}

std::string fuel(int vehicle_id, int record_id, int year, int month, int day, int start, int end, int litres_ml,
                 int cost, int economy) {
    ChunkHeader h;
    h.type = kRecordFuel;
    h.vehicle_id = vehicle_id;
    h.record_id = record_id;
    h.year = static_cast<std::uint16_t>(year);
    h.month = static_cast<std::uint8_t>(month);
    h.day = static_cast<std::uint8_t>(day);
    h.a = start;
    h.b = end;
    h.c = litres_ml;
    h.d = cost;
    h.e = economy;
    return encode_chunk(h, {});
}

std::string maintenance(int vehicle_id, int record_id, int year, int month, int day, int odometer, int cost,
                        const std::string& description) {
    ChunkHeader h;
    h.type = kRecordMaintenance;
    h.vehicle_id = vehicle_id;
    h.record_id = record_id;
    h.year = static_cast<std::uint16_t>(year);
    h.month = static_cast<std::uint8_t>(month);
    h.day = static_cast<std::uint8_t>(day);
    h.b = odometer;
    h.d = cost;
    return encode_chunk(h, maintenance_body(description));
}

class VehicleStoreTest : public test::DomoraTest {
protected:
    void SetUp() override {
        DomoraTest::SetUp();
        set_message_handler(nullptr);  // messages land in os.message_boxes
        status_log_set_path(path("status.log"));
        store.set_path(path("vehicle11.dat"));
    }
    void load(const std::string& bytes) {
        write(path("vehicle11.dat"), bytes);
        store.load();
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : os.message_boxes) texts.push_back(box.text);
        return texts;
    }
    // The record ids of the file's chunks, in file order.
    std::vector<int> file_record_ids() {
        VehicleStore reader(path("vehicle11.dat"));
        reader.load();
        std::vector<int> ids;
        for (std::size_t offset : reader.chunks()) ids.push_back(reader.header(offset).record_id);
        return ids;
    }

    VehicleStore store;
};

// ---- the layout --------------------------------------------------------------------------------------------

TEST_F(VehicleStoreTest, AChunkIsWrittenByteForByteAsTheFileLaysItOut) {
    const std::string chunk = fuel(7, 9, 2024, 3, 7, 160934, 209215, 37854, 35000, 127545);
    ASSERT_EQ(chunk.size(), 52u);
    const std::string expected = std::string("\x34\x00\x00\x00MSRI\x03\x00\x00\x00", 12) +
                                 std::string("\x07\x00\x00\x00\x09\x00\x00\x00\xE8\x07\x03\x07", 12) +
                                 std::string("\xA6\x74\x02\x00\x3F\x31\x03\x00\xDE\x93\x00\x00", 12) +
                                 std::string("\xB8\x88\x00\x00\x39\xF2\x01\x00\x00\x00\x00\x00", 12) + std::string(4, '\0');
    EXPECT_EQ(chunk, expected);

    const std::string car = vehicle(1, 2, 2019, "Audi", "A4", "JPEG");
    EXPECT_EQ(car.size(), 52u + 4 + 2 + 4 + 3 + 4 + 4) << "texts each with a zero byte, then the photo";
    EXPECT_EQ(car.substr(52), std::string("Audi\0A4\0VIN1\0LIC\0JPEG", 21));
    EXPECT_EQ(maintenance(1, 3, 2024, 1, 2, 0, 0, "Oil").size(), 53u + 3);

    const ChunkHeader h = read_chunk_header(chunk, 0);
    EXPECT_EQ(h.length, 52);
    EXPECT_EQ(h.type, kRecordFuel);
    EXPECT_EQ(h.year, 2024);
    EXPECT_EQ(h.a, 160934);
    EXPECT_EQ(h.e, 127545);
}

TEST_F(VehicleStoreTest, AMissingShortOrEmptyFileGivesAnEmptyManagerWithoutAMessage) {
    store.load();
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(store.vehicles().empty());
    EXPECT_EQ(settings().vehicle_id, 0);

    // Exactly one chunk header's worth is still "52 bytes or less".
    load(fuel(1, 1, 2024, 1, 1, 1, 2, 3, 4, 5));
    EXPECT_TRUE(store.empty());
    load("");
    EXPECT_TRUE(store.empty());
    EXPECT_TRUE(os.message_boxes.empty());
}

// ---- damaged files ----------------------------------------------------------------------------------------------

TEST_F(VehicleStoreTest, JunkBeforeTheFirstChunkIsSkippedSilently) {
    settings().vehicle_id = 1;
    load(std::string(10, 'x') + vehicle(1, 1, 2019, "Audi", "A4") + fuel(1, 2, 2024, 1, 5, 100, 200, 1000, 0, 0));
    EXPECT_EQ(store.vehicles().size(), 1u);
    EXPECT_EQ(store.vehicles()[0], 0u) << "the junk is left out of the image";
    EXPECT_EQ(store.record_count(), 1);
    EXPECT_TRUE(os.message_boxes.empty());
}

TEST_F(VehicleStoreTest, AChunkRunningOneBytePastTheEndIsReportedByBothLists) {
    settings().vehicle_id = 1;
    std::string overrun = fuel(2, 3, 2024, 1, 1, 1, 2, 3, 4, 5);
    overrun[0] = 53;  // one byte more than the file holds
    load(vehicle(1, 1, 2019, "Audi", "A4") + fuel(1, 2, 2024, 1, 5, 100, 200, 1000, 0, 0) + overrun);
    EXPECT_EQ(messages(), (std::vector<std::string>{"1 vehicle records are corrupted and have been skipped",
                                                     "1 records are corrupted and have been skipped"}))
        << "counted although it belongs to another vehicle";
    EXPECT_EQ(store.record_count(), 1);

    // The next save leaves it behind.
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{1, 2}));
    os.message_boxes.clear();
    store.load();
    EXPECT_TRUE(os.message_boxes.empty());
}

TEST_F(VehicleStoreTest, AChunkRunningJustPastTheEndNeverSwallowsLaterChunks) {
    // A fuel chunk header whose length runs two bytes past the end, then a vehicle and one fill-up.
    settings().vehicle_id = 1;
    write(path("vehicle11.dat"), read(data_file("vehicle_stale_frame.dat")));
    store.load();
    EXPECT_EQ(messages(), (std::vector<std::string>{"1 vehicle records are corrupted and have been skipped",
                                                     "1 records are corrupted and have been skipped"}));
    ASSERT_EQ(store.vehicles().size(), 1u);
    ASSERT_EQ(store.record_count(), 1);

    // A second fill-up grows the image past the damaged length.
    store.append_chunk(read_chunk_header(fuel(1, 3, 2024, 2, 5, 200, 300, 1000, 0, 0), 0), {});
    store.rebuild_record_view();
    EXPECT_EQ(store.record_count(), 2);
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{1, 2, 3})) << "the vehicle and both fill-ups";
    EXPECT_EQ(store.record_count(), 2);
    EXPECT_EQ(store.vehicle_list_corrupt(), 0);
    EXPECT_EQ(messages().size(), 3u) << "the rebuild after the append still counted the chunk the load left out";
}

TEST_F(VehicleStoreTest, AChunkLengthBelowTheHeaderCountsAsCorruptAndTheWalkMovesOn) {
    settings().vehicle_id = 1;
    for (std::int32_t bad : {0, 51, -52}) {
        std::string broken = fuel(1, 9, 2024, 1, 1, 1, 2, 3, 4, 5);
        for (int i = 0; i < 4; ++i) broken[static_cast<std::size_t>(i)] = static_cast<char>((static_cast<std::uint32_t>(bad) >> (8 * i)) & 0xFF);
        os.message_boxes.clear();
        load(vehicle(1, 1, 2019, "Audi", "A4") + broken + fuel(1, 2, 2024, 1, 5, 100, 200, 1000, 0, 0));
        EXPECT_EQ(store.record_count(), 1) << bad;
        EXPECT_EQ(messages().size(), 2u) << bad;
        EXPECT_EQ(store.vehicle_list_corrupt(), 1) << bad;
    }
}

TEST_F(VehicleStoreTest, TheDamagedFixtureKeepsEveryChunkTheDamageMissed) {
    // Junk, a vehicle, a chunk whose length is 20, a maintenance record, a
    // vehicle whose photo length is far beyond its chunk, and a fuel record
    // whose length runs past the end of the file.
    const std::string bytes = read(data_file("vehicle_damaged.dat"));
    ASSERT_FALSE(bytes.empty());
    settings().vehicle_id = 5;
    load(bytes);
    EXPECT_EQ(store.vehicles().size(), 2u);
    EXPECT_EQ(store.record_count(), 1);
    EXPECT_EQ(store.vehicle_list_corrupt(), 2);
    EXPECT_EQ(store.record_view_corrupt(), 2);
    EXPECT_EQ(store.description(store.record_offset(0)), "Brakes");
    EXPECT_EQ(store.maintenance_total(), 120500);

    settings().vehicle_id = 6;
    store.rebuild_vehicle_list();
    const std::optional<VehicleInfo> damaged = store.read_vehicle(6);
    ASSERT_TRUE(damaged);
    EXPECT_EQ(damaged->make, "Ford");
    EXPECT_TRUE(damaged->photo.empty()) << "shown without a photo";
    const std::vector<std::string> log = log_lines(path("status.log"));
    EXPECT_NE(std::find(log.begin(), log.end(), "Photo Size Too Large:  1000000"), log.end());
}

TEST_F(VehicleStoreTest, RandomDamageIsSkippedAndTheNextSaveWritesOnlyWholeChunks) {
    std::string good = vehicle(1, 1, 2019, "Audi", "A4", "PHOTO") + vehicle(2, 2, 2020, "BMW", "X1");
    for (int i = 0; i < 12; ++i) {
        good += i % 3 == 0 ? maintenance(1 + i % 2, 10 + i, 2024, 1 + i % 12, 1 + i, 1000 * i, 500 * i, "Service")
                           : fuel(1 + i % 2, 10 + i, 2024, 1 + i % 12, 1 + i, 1000 * i, 1000 * i + 900, 40000, 600 * i, 120000);
    }
    unsigned seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
    for (int round = 0; round < 300; ++round) {
        std::string damaged = good;
        for (int hits = 1 + static_cast<int>(next() % 4); hits > 0; --hits) {
            const std::size_t at = next() % damaged.size();
            switch (next() % 3) {
                case 0: damaged[at] = static_cast<char>(next()); break;
                case 1: damaged.erase(at, 1 + next() % 60); break;
                default: damaged.insert(at, std::string(1 + next() % 9, static_cast<char>(next()))); break;
            }
            if (damaged.empty()) damaged = "x";
        }
        settings().vehicle_id = static_cast<std::int32_t>(next() % 3);
        load(damaged);
        for (int filter = kFilterAll; filter <= kFilterSearch; ++filter) {
            store.set_display_filter(filter);
            store.rebuild_record_view();
        }
        for (std::size_t offset : store.vehicles()) (void)store.read_vehicle(store.header(offset).vehicle_id);
        for (std::size_t offset : store.chunks()) (void)vehicle_sort_key(store.image(), offset);
        (void)store.new_ids();
        ASSERT_TRUE(store.save()) << round;
        os.message_boxes.clear();
        store.load();
        EXPECT_TRUE(os.message_boxes.empty()) << "round " << round << ": the saved file has no damage left";
    }
}

// ---- the lists ------------------------------------------------------------------------------------------------------

TEST_F(VehicleStoreTest, TheRememberedVehicleOrElseTheFirstInSortOrderIsCurrent) {
    const std::string file = vehicle(4, 1, 2015, "Volvo", "V70") + vehicle(2, 2, 2019, "Audi", "A4");
    settings().vehicle_id = 2;
    load(file);
    EXPECT_EQ(store.vehicle_position(), 1);
    EXPECT_EQ(settings().vehicle_id, 2);

    settings().vehicle_id = 99;
    load(file);
    EXPECT_EQ(store.vehicle_position(), 0);
    EXPECT_EQ(settings().vehicle_id, 4);

    load("");
    EXPECT_EQ(settings().vehicle_id, 0);
    const std::vector<std::string> log = log_lines(path("status.log"));
    EXPECT_EQ(log.back(), "Build Record Index for Vehicle ID:  0");
}

TEST_F(VehicleStoreTest, TheFilterChoosesTheRowsAndTheTotalsFollowIt) {
    settings().vehicle_id = 1;
    std::string file = vehicle(1, 1, 2019, "Audi", "A4") + vehicle(2, 2, 2020, "BMW", "X1");
    file += fuel(1, 3, 2024, 1, 1, 0, 100, 1000, 40000, 100000);
    file += maintenance(1, 4, 2024, 1, 2, 150, 25500, "Oil");
    file += fuel(2, 5, 2024, 1, 3, 0, 100, 1000, 99000, 200000);  // another vehicle's
    ChunkHeader searched = read_chunk_header(fuel(1, 6, 2024, 1, 4, 100, 300, 2000, 60000, 120000), 0);
    searched.marks = kVehicleSearchMark;
    file += encode_chunk(searched, {});
    load(file);

    EXPECT_EQ(store.record_count(), 3);
    EXPECT_EQ(store.fuel_total(), 100000);
    EXPECT_EQ(store.maintenance_total(), 25500);
    EXPECT_EQ(store.average_economy(), 10000);  // 3 km on 3 litres, whatever the records' own figures say

    store.set_display_filter(kFilterMaintenance);
    store.rebuild_record_view();
    EXPECT_EQ(store.record_count(), 1);
    EXPECT_EQ(store.fuel_total(), 0);
    EXPECT_EQ(store.average_economy(), 0);
    EXPECT_EQ(store.maintenance_total(), 25500);

    store.set_display_filter(kFilterFuel);
    store.rebuild_record_view();
    EXPECT_EQ(store.record_count(), 2);
    store.set_display_filter(kFilterSearch);
    store.rebuild_record_view();
    ASSERT_EQ(store.record_count(), 1);
    EXPECT_EQ(store.header(store.record_offset(0)).record_id, 6);
    store.set_display_filter(9);
    store.rebuild_record_view();
    EXPECT_EQ(store.record_count(), 0);
}

TEST_F(VehicleStoreTest, TheAverageEconomyIsTheDistanceOverTheFuelOfTheLatestFiveFillUps) {
    settings().vehicle_id = 1;
    std::string file = vehicle(1, 1, 2019, "Audi", "A4");
    // The oldest fill-up is left out; then whole tanks of 500 km on 50 litres
    // (10 km/l) and a top-up of 50 km on 2.5 litres (20 km/l). An average of
    // the five figures would say 12 km/l; the car did 2,050 km on 202.5 litres.
    struct Fill {
        int start, end, millilitres, economy;
    };
    const Fill fills[] = {{0, 10000, 1000, 1000000},       {10000, 60000, 50000, 100000}, {60000, 110000, 50000, 100000},
                          {110000, 115000, 2500, 200000}, {115000, 165000, 50000, 100000}, {165000, 215000, 50000, 100000}};
    for (int i = 0; i < 6; ++i) file += fuel(1, 2 + i, 2024, 1, 1 + i, fills[i].start, fills[i].end, fills[i].millilitres, 0, fills[i].economy);
    file += maintenance(1, 20, 2024, 2, 1, 0, 0, "Wash");
    load(file);
    EXPECT_EQ(store.average_economy(), 101235);  // 10.1235 km/l

    // One fill-up alone is its own figure.
    load(vehicle(1, 1, 2019, "Audi", "A4") + fuel(1, 2, 2024, 1, 1, 160934, 209215, 37854, 0, 127545));
    EXPECT_EQ(store.average_economy(), 127545);
}

TEST_F(VehicleStoreTest, ChunksOfUnknownTypesStayInTheFileAndAreLoggedByTheView) {
    settings().vehicle_id = 1;
    ChunkHeader odd;
    odd.type = 7;
    odd.vehicle_id = 1;
    odd.record_id = 3;
    load(vehicle(1, 1, 2019, "Audi", "A4") + encode_chunk(odd, {}));
    EXPECT_EQ(store.record_count(), 0);
    const std::vector<std::string> log = log_lines(path("status.log"));
    EXPECT_NE(std::find(log.begin(), log.end(), "Unknown Record Type:  7 - size:  52"), log.end());
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{3, 1})) << "kept, and sorted by its zero date";
}

// ---- saving ---------------------------------------------------------------------------------------------------------------

TEST_F(VehicleStoreTest, SavingSortsByDateThenOdometerAndDropsDeletedChunks) {
    settings().vehicle_id = 1;
    load(vehicle(1, 1, 2019, "Audi", "A4") + fuel(1, 2, 2024, 5, 1, 0, 300, 1, 0, 0) + fuel(1, 3, 2023, 12, 31, 0, 100, 1, 0, 0) +
         fuel(1, 4, 2024, 5, 1, 0, 200, 1, 0, 0));
    store.set_record_type(store.record_offset(0), kRecordDeleted);
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{1, 3, 4})) << "the vehicle (2019) first, then by date and odometer";
    EXPECT_EQ(mode_of(path("vehicle11.dat")), 0600u);
    EXPECT_EQ(store.record_count(), 2) << "reloaded";
}

TEST_F(VehicleStoreTest, VehiclesOfOneYearSortByMakeAndModelWhateverTheirCase) {
    load(vehicle(1, 1, 2019, "BMW", "X1") + vehicle(2, 2, 2019, "audi", "A4") + vehicle(3, 3, 2018, "Zastava", "") +
         vehicle(4, 4, 2019, "Audi", "A3"));
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{3, 4, 2, 1}));
}

TEST_F(VehicleStoreTest, ChunksWithEqualKeysKeepTheirFileOrder) {
    std::string file = vehicle(1, 1, 2019, "Audi", "A4");
    for (int id = 2; id <= 40; ++id) file += fuel(1, 42 - id, 2024, 1, 1, 0, 100, id, 0, 0);
    load(file);
    ASSERT_TRUE(store.save());
    std::vector<int> expected = {1};
    for (int id = 2; id <= 40; ++id) expected.push_back(42 - id);
    EXPECT_EQ(file_record_ids(), expected);
}

TEST_F(VehicleStoreTest, MarksAreSavedAndClearingReachesEveryVehicle) {
    settings().vehicle_id = 1;
    load(vehicle(1, 1, 2019, "Audi", "A4") + vehicle(2, 2, 2020, "BMW", "X1") + fuel(1, 3, 2024, 1, 1, 0, 1, 1, 0, 0) +
         fuel(2, 4, 2024, 1, 1, 0, 1, 1, 0, 0));
    store.set_selected(0, true);
    for (std::size_t offset : store.chunks()) {
        if (store.header(offset).record_id == 4) store.set_marks(offset, kVehicleSelectedMark | kVehicleSearchMark);
    }
    ASSERT_TRUE(store.save());
    EXPECT_TRUE(store.is_selected(0)) << "kept through the save";
    store.clear_selected_marks();
    for (std::size_t offset : store.chunks()) {
        EXPECT_EQ(store.header(offset).marks & kVehicleSelectedMark, 0) << store.header(offset).record_id;
    }
    for (std::size_t offset : store.chunks()) {
        if (store.header(offset).record_id == 4) {
            EXPECT_EQ(store.header(offset).marks, kVehicleSearchMark);
        }
    }
}

TEST_F(VehicleStoreTest, AFailedWriteKeepsTheOldFileAndTheChangeInMemory) {
    settings().vehicle_id = 1;
    const std::string before = vehicle(1, 1, 2019, "Audi", "A4") + fuel(1, 2, 2024, 1, 1, 0, 1, 1, 0, 0);
    load(before);
    store.append_chunk(read_chunk_header(fuel(1, 3, 2024, 1, 2, 1, 2, 1, 0, 0), 0), {});
    os.fail_renames();
    const Result<void> saved = store.save();
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().message.find("rename"), std::string::npos);
    EXPECT_EQ(read(path("vehicle11.dat")), before);
    EXPECT_EQ(store.record_count(), 2) << "the new record stays on the screen";

    os.clear_faults();
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_record_ids(), (std::vector<int>{1, 2, 3}));
}

TEST_F(VehicleStoreTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    ASSERT_EQ(::mkdir(path("vehicle11.dat").c_str(), 0700), 0);
    store.load();
    EXPECT_TRUE(store.unreadable());
    store.append_chunk(vehicle_header(1, 1, 2019), vehicle_body("Audi", "A4", "", "", ""));
    EXPECT_FALSE(store.save());
    EXPECT_FALSE(store.write_image());
    EXPECT_TRUE(std::filesystem::is_directory(path("vehicle11.dat")));
}

// ---- another program's writes ---------------------------------------------------------------------------------------------

class OtherProgram : public VehicleStoreTest {
protected:
    void SetUp() override {
        VehicleStoreTest::SetUp();
        os.now = UtcTime{2026, 12, 9, 10, 20, 30};
        load(base);
    }
    std::string service(int record_id, int day, const std::string& what) {
        return maintenance(1, record_id, 2024, 3, day, 1000 + day, 50, what);
    }
    std::size_t offset_of(int record_id) {
        for (const std::size_t offset : store.chunks()) {
            const ChunkHeader h = store.header(offset);
            if (h.type == kRecordMaintenance && h.record_id == record_id) return offset;
        }
        ADD_FAILURE() << "no record " << record_id;
        return 0;
    }
    void add(int record_id, int day, const std::string& what) {
        const std::string chunk = service(record_id, day, what);
        store.append_chunk(read_chunk_header(chunk, 0), std::string_view(chunk).substr(kChunkHeaderSize));
    }
    void edit(int record_id, int day, const std::string& what) {
        const std::size_t old = offset_of(record_id);
        add(record_id, day, what);
        store.set_record_type(old, kRecordDeleted);
    }
    // "Audi 1" for the vehicle, "description id" for each service, of the file in file order.
    std::vector<std::string> file_chunks() {
        VehicleStore reader(path("vehicle11.dat"));
        reader.load();
        std::vector<std::string> out;
        for (const std::size_t offset : reader.chunks()) {
            const ChunkHeader h = reader.header(offset);
            if (h.type == kRecordVehicle) out.push_back("Audi " + std::to_string(h.vehicle_id));
            if (h.type == kRecordMaintenance) out.push_back(reader.description(offset) + " " + std::to_string(h.record_id));
        }
        return out;
    }
    std::vector<std::string> told() const { return test::messages_told(os); }
    std::string copy_name() const { return path("vehicle11 2026-12-09 10-20-30.dat"); }

    const std::string base = vehicle(1, 1, 2019, "Audi", "A4") + service(2, 1, "Oil") + service(3, 2, "Tyres");
};

TEST_F(OtherProgram, AnAddGoesIntoTheNewFileUnderAFreeIdWhenTheFileGaveItsIdAway) {
    ASSERT_EQ(store.new_ids().record_id, 4);
    add(4, 5, "Wipers");
    test::replace_file(path("vehicle11.dat"), base + service(4, 4, "Brakes"));
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_chunks(), (std::vector<std::string>{"Audi 1", "Oil 2", "Tyres 3", "Brakes 4", "Wipers 5"}));
    EXPECT_TRUE(told().empty());
}

TEST_F(OtherProgram, AnEditAndADeleteApplyToTheChunksWithTheirIdsInTheNewFile) {
    edit(2, 1, "Oil and filter");
    store.set_record_type(offset_of(3), kRecordDeleted);
    test::replace_file(path("vehicle11.dat"), base + service(4, 4, "Brakes"));
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_chunks(), (std::vector<std::string>{"Audi 1", "Oil and filter 2", "Brakes 4"}));
    EXPECT_TRUE(told().empty());
    EXPECT_FALSE(file_exists(copy_name()));
}

TEST_F(OtherProgram, AnEditOfAChunkTheOtherProgramRemovedIsKeptInADatedCopy) {
    edit(3, 2, "New tyres");
    const std::string ours = store.image();
    test::replace_file(path("vehicle11.dat"), vehicle(1, 1, 2019, "Audi", "A4") + service(2, 1, "Oil"));
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_chunks(), (std::vector<std::string>{"Audi 1", "Oil 2"}));
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + path("vehicle11.dat") +
                                                    "|Your changes that could not be carried over are kept in|" +
                                                    copy_name()}));
    EXPECT_EQ(read(copy_name()), ours);
    EXPECT_EQ(mode_of(copy_name()), 0600u);
}

TEST_F(OtherProgram, TheOtherProgramsVersionOfAChunkBothChangedIsKeptInADatedCopy) {
    const std::string theirs = vehicle(1, 1, 2019, "Audi", "A4") + service(2, 1, "Oil change") + service(3, 2, "Tyres");
    edit(2, 1, "Oil and filter");
    test::replace_file(path("vehicle11.dat"), theirs);
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_chunks(), (std::vector<std::string>{"Audi 1", "Oil and filter 2", "Tyres 3"}))
        << "the user's edit wins by id";
    EXPECT_EQ(told(), (std::vector<std::string>{"Another program changed the file|" + path("vehicle11.dat") +
                                                    "|Its version of records you changed too is kept in|" + copy_name()}));
    EXPECT_EQ(read(copy_name()), theirs);
}

TEST_F(OtherProgram, AFileMadeUnreadableKeepsTheChangesAndIsNeverWrittenOver) {
    edit(2, 1, "Oil and filter");
    const std::string ours = store.image();
    ASSERT_TRUE(std::filesystem::remove(path("vehicle11.dat")));
    ASSERT_EQ(::mkdir(path("vehicle11.dat").c_str(), 0700), 0);
    EXPECT_FALSE(store.write_image());
    EXPECT_FALSE(store.save());
    EXPECT_TRUE(std::filesystem::is_directory(path("vehicle11.dat")));
    EXPECT_EQ(store.image(), ours);
    EXPECT_EQ(read(copy_name()), ours);
    EXPECT_EQ(told().size(), 1u) << "kept once, not at every save";

    ASSERT_TRUE(std::filesystem::remove(path("vehicle11.dat")));
    write(path("vehicle11.dat"), base + service(4, 4, "Brakes"));
    ASSERT_TRUE(store.save());
    EXPECT_EQ(file_chunks(), (std::vector<std::string>{"Audi 1", "Oil and filter 2", "Tyres 3", "Brakes 4"}));
}

// ---- ids, vehicles, positions -----------------------------------------------------------------------------------------------

TEST_F(VehicleStoreTest, NewIdsFollowTheLargestOfEachKindAndFindAFreeOneAfterTheTop) {
    EXPECT_EQ(store.new_ids().vehicle_id, 1);
    EXPECT_EQ(store.new_ids().record_id, 1);
    ChunkHeader deleted = read_chunk_header(fuel(9, 40, 2024, 1, 1, 0, 1, 1, 0, 0), 0);
    deleted.type = kRecordDeleted;
    load(vehicle(3, 7, 2019, "Audi", "A4") + encode_chunk(deleted, {}));
    EXPECT_EQ(store.new_ids().vehicle_id, 10) << "deleted chunks count too";
    EXPECT_EQ(store.new_ids().record_id, 41);

    load(vehicle(1, 1, 2019, "Audi", "A4") + vehicle(2147483647, 2, 2019, "BMW", "X1") + fuel(1, 2147483647, 2024, 1, 1, 0, 1, 1, 0, 0));
    EXPECT_EQ(store.new_ids().vehicle_id, 2);
    EXPECT_EQ(store.new_ids().record_id, 3);
}

TEST_F(VehicleStoreTest, ReadVehicleGivesTheTextsAndAPhotoThatFits) {
    settings().vehicle_id = 2;
    load(vehicle(2, 5, 2019, "Audi", "A4", std::string("\xFF\xD8\0JFIF", 7)));
    const std::optional<VehicleInfo> car = store.read_vehicle(2);
    ASSERT_TRUE(car);
    EXPECT_EQ(car->year, "2019");
    EXPECT_EQ(car->make, "Audi");
    EXPECT_EQ(car->model, "A4");
    EXPECT_EQ(car->vin, "VIN2");
    EXPECT_EQ(car->license, "LIC");
    EXPECT_EQ(car->photo, std::string("\xFF\xD8\0JFIF", 7));
    EXPECT_EQ(car->record_id, 5);
    EXPECT_EQ(store.vehicle_heading(car->offset), "2019 Audi A4");
    EXPECT_FALSE(store.read_vehicle(3));

    VehicleStore empty(path("none.dat"));
    empty.load();
    EXPECT_FALSE(empty.read_vehicle(2));
    ASSERT_EQ(os.message_boxes.size(), 1u);
    EXPECT_EQ(os.message_boxes[0].text, "no records");
}

}  // namespace
}  // namespace domora
