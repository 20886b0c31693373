// Fill-ups that other fuel logs exported as CSV: the file split into rows
// that remember their line numbers, the columns found by their names (the
// exports of Fuelly, Spritmonitor, Drivvo and LubeLogger and the usual
// aliases) or chosen by hand, each row read into a fill-up or the reason it
// cannot be, and the fill-ups turned into fuel records of a vehicle, each
// starting where the fill-up before it ended.
//
// Nothing here draws or asks; the Import button's action does that.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vehicles/vehicle_store.h"

namespace domora {

// ---- the file -------------------------------------------------------------------------------------

struct CsvRow {
    int line = 0;  // where the row starts in the file, counting from 1
    std::vector<std::string> fields;
};

struct CsvTable {
    char separator = ',';
    std::vector<std::string> header;
    int header_line = 0;  // 0 when the file holds no line at all
    std::vector<CsvRow> rows;
};

// The file's bytes in any of the encodings the imports read; the first line
// that is not blank is the header.
CsvTable read_csv_table(const std::string& bytes);

// ---- the columns -------------------------------------------------------------------------------------

enum FillUpColumn { kColumnDate, kColumnOdometer, kColumnQuantity, kColumnTotalCost, kColumnUnitPrice, kFillUpColumns };
enum class DistanceUnit { Kilometres, Miles };
enum class VolumeUnit { Litres, UsGallons, UkGallons };

struct FillUpLayout {
    std::array<int, kFillUpColumns> columns{};  // 1-based, 0 for none
    DistanceUnit distance = DistanceUnit::Kilometres;
    VolumeUnit volume = VolumeUnit::Litres;
    DateOrder dates = DateOrder::YearMonthDay;  // for dates that do not say
    char decimal = '.';                         // the numbers' decimal mark, '.' or ','
};

// The columns found by their names, and the units and orders they, the
// data and, where both are silent, the user's locale suggest.
FillUpLayout guess_layout(const CsvTable& table, bool us_units, DateOrder locale_order);
// Date, odometer and quantity are what a fill-up cannot do without.
bool layout_complete(const FillUpLayout& layout);

// ---- the rows ------------------------------------------------------------------------------------------

struct FillUp {
    int line = 0;
    int year = 0, month = 0, day = 0;
    std::int64_t odometer = 0;  // hundredths of a kilometre
    std::int64_t fuel = 0;      // millilitres
    std::int64_t cost = 0;      // thousandths
};

struct BadRow {
    int line = 0;
    std::string reason;  // "the date cannot be read", ...
};

struct ReadFillUps {
    std::vector<FillUp> fill_ups;
    std::vector<BadRow> bad;
};

// Every row that is not blank gives a fill-up or a bad row.
ReadFillUps read_fill_ups(const CsvTable& table, const FillUpLayout& layout);

// A date as a file writes it: year, month and day in the order given unless
// the text says (a four-digit year first, a month name); a time after it is
// left out. False for anything but a day of the calendar from 1900 to 2500.
bool read_file_date(const std::string& text, DateOrder order, int& year, int& month, int& day);
// A number as a file writes it, with this decimal mark: digits with
// grouping, a currency sign or unit word before or after. Its value as
// digits with a '.' ("1234.5"), or "" when the text is no plain number
// (empty, negative, an exponent, two numbers).
std::string plain_number(const std::string& text, char decimal);

// ---- into the vehicle ------------------------------------------------------------------------------------

struct ImportPlan {
    std::vector<ChunkHeader> records;  // fuel records, record ids from first_record_id on
    std::vector<BadRow> bad;
    int first_without_start = 0;  // the line of the fill-up skipped for want of a start, 0 for none
    int already_there = 0;        // fill-ups the vehicle has already (same date and odometer)
};

// The fill-ups as fuel records of the vehicle, in odometer order: each starts
// at the end of the fill-up before it, the vehicle's own or one read before;
// the first one with none before it is left out and named.
ImportPlan plan_import(const ReadFillUps& read, const VehicleStore& store, std::int32_t vehicle_id,
                       std::int32_t first_record_id);

}  // namespace domora
