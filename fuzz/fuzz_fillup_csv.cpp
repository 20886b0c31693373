// The fill-up CSV reader: whatever the bytes, every row that is not blank
// comes out as a fill-up or a named bad line, the columns found exist, and
// the fuel records planned from them chain and fit the vehicle file.
#include <set>

#include "fuzz_support.h"
#include "vehicles/fillup_csv.h"
#include "vehicles/vehicle_units.h"

using namespace domora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static VehicleStore store = [] {
        VehicleStore s(fuzz::scratch_path("vehicle11.dat"));
        return s;
    }();
    (void)fuzz::fuzz_platform();
    const CsvTable table = read_csv_table(std::string(fuzz::input_text(data, size)));
    int last_line = table.header_line;
    for (const CsvRow& row : table.rows) {
        FUZZ_CHECK(row.line > last_line);
        last_line = row.line;
    }
    for (bool us : {false, true}) {
        const FillUpLayout layout = guess_layout(table, us, DateOrder::DayMonthYear);
        for (int column : layout.columns) FUZZ_CHECK(column >= 0 && column <= static_cast<int>(table.header.size()));
        const ReadFillUps read = read_fill_ups(table, layout);
        std::set<int> lines;
        for (const FillUp& f : read.fill_ups) {
            FUZZ_CHECK(calendar_date(f.year, f.month, f.day));
            FUZZ_CHECK(f.fuel > 0 && f.odometer >= 0);
            lines.insert(f.line);
        }
        for (const BadRow& b : read.bad) {
            FUZZ_CHECK(!b.reason.empty());
            lines.insert(b.line);
        }
        FUZZ_CHECK(lines.size() == read.fill_ups.size() + read.bad.size());
        const ImportPlan plan = plan_import(read, store, 1, 1);
        FUZZ_CHECK(plan.records.size() + plan.bad.size() + (plan.first_without_start ? 1 : 0) +
                       static_cast<std::size_t>(plan.already_there) ==
                   read.fill_ups.size() + read.bad.size());
        for (const ChunkHeader& h : plan.records) {
            FUZZ_CHECK(h.type == kRecordFuel && h.vehicle_id == 1);
            FUZZ_CHECK(h.b > h.a && h.a >= 0 && h.c > 0 && h.d >= 0);
            FUZZ_CHECK(h.e == fuel_economy(h.a, h.b, h.c));
        }
    }
    return 0;
}
