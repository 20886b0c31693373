#include "vehicles/fillup_csv.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <cstdlib>
#include <set>

#include "app/csv_text.h"
#include "app/text.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

// ---- header names ----------------------------------------------------------------------------------

struct Column {
    std::string name;  // lower case, punctuation gone, blanks single
    std::string hint;  // what stood in brackets: "km", "l", "mi"
};

Column normalise(const std::string& header) {
    Column c;
    std::string text = to_lower(header);
    const std::size_t open = text.find('(');
    if (open != std::string::npos) {
        const std::size_t close = text.find(')', open);
        c.hint = trim(text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
        text.erase(open, close == std::string::npos ? std::string::npos : close - open + 1);
    }
    std::string name;
    for (char ch : text) {
        const char k = (ch == '_' || ch == '-' || ch == '\t') ? ' ' : ch;
        if (k == '.' || k == '!' || k == ':' || k == '"') continue;
        if (k == ' ' && (name.empty() || name.back() == ' ')) continue;
        name += k;
    }
    c.name = trim(name);
    return c;
}

// What each part of a fill-up is called, by the four apps and the others.
const std::vector<std::string> kAliases[kFillUpColumns] = {
    {"date", "fuelup date", "fill date", "refuel date", "datum", "data"},
    {"odometer", "odo", "odometer reading", "mileage", "km stand", "kilometerstand", "tachostand"},
    {"quantity", "qty", "litres", "liters", "gallons", "volume", "fuel consumed", "fuelconsumed", "fill amount", "fuel amount",
     "menge", "spritmenge"},
    {"total cost", "totalcost", "total price", "cost", "total", "total expenses", "gesamtpreis", "gesamtkosten", "kosten"},
    {"price", "price per unit", "unit price", "price per gallon", "price per litre", "price per liter", "price / l", "price/l",
     "price / gal", "price/gal", "fuel price", "preis"},
};

bool is_one_of(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

bool mentions(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// ---- dates -------------------------------------------------------------------------------------------------

int full_year(int year, std::size_t digits) {
    if (digits > 2) return year;
    return year < 70 ? 2000 + year : 1900 + year;
}

// The date part of a text that may carry a time: "2024-03-07 08:15",
// "2024-03-07T08:15:00", "Sep 17, 2008 11:31 AM".
std::string without_time(const std::string& text) {
    std::string kept;
    std::string word;
    const auto flush = [&] {
        const std::string lower = to_lower(word);
        if (!word.empty() && word.find(':') == std::string::npos && lower != "am" && lower != "pm") {
            kept += (kept.empty() ? "" : " ") + word;
        }
        word.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool iso_time = c == 'T' && i > 0 && std::isdigit(static_cast<unsigned char>(text[i - 1])) && i + 1 < text.size() &&
                              std::isdigit(static_cast<unsigned char>(text[i + 1]));
        if (iso_time) {
            flush();
            break;
        }
        if (c == ' ') {
            flush();
        } else {
            word += c;
        }
    }
    flush();
    return kept;
}

struct DigitGroup {
    int value = 0;
    std::size_t digits = 0;
};

std::vector<DigitGroup> digit_groups(const std::string& text) {
    std::vector<DigitGroup> groups;
    for (std::size_t i = 0; i < text.size();) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        DigitGroup g;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            if (g.digits < 6) g.value = g.value * 10 + (text[i] - '0');
            ++g.digits;
            ++i;
        }
        groups.push_back(g);
    }
    return groups;
}

// The month a word names: the English three letters or the locale's own.
int month_named(const std::string& lower_text, std::size_t& at, std::size_t& length) {
    static const char kEnglish[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    for (int m = 1; m <= 12; ++m) {
        const std::string local = to_lower(platform().month_abbreviation(m));
        for (const std::string& name : {std::string(kEnglish + 3 * (m - 1), 3), local}) {
            if (name.empty()) continue;
            const std::size_t found = lower_text.find(name);
            if (found == std::string::npos) continue;
            at = found;
            length = name.size();
            // The whole word goes, "March" as well as "Mar".
            while (at + length < lower_text.size() && std::isalpha(static_cast<unsigned char>(lower_text[at + length]))) ++length;
            return m;
        }
    }
    return 0;
}

// ---- numbers -----------------------------------------------------------------------------------------------

double number_value(const std::string& plain) { return plain.empty() ? 0 : std::strtod(plain.c_str(), nullptr); }

// Evidence for a decimal mark in one number's text: +1 for a comma, -1 for a point, 0 for none.
int decimal_evidence(const std::string& text) {
    const std::size_t comma = text.rfind(','), point = text.rfind('.');
    if (comma != std::string::npos && point != std::string::npos) return comma > point ? 1 : -1;
    const std::size_t mark = comma != std::string::npos ? comma : point;
    if (mark == std::string::npos) return 0;
    std::size_t digits = 0;
    for (std::size_t i = mark + 1; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
    // "1,234" and "1.234" could be a thousand either way.
    if (digits == 3) return 0;
    return comma != std::string::npos ? 1 : -1;
}

std::string field(const CsvRow& row, int column) {
    return column > 0 && column <= static_cast<int>(row.fields.size()) ? trim(row.fields[static_cast<std::size_t>(column - 1)])
                                                                         : std::string();
}

// A day as one number that sorts and compares as the day does.
int day_key(int year, int month, int day) { return year * 10000 + month * 100 + day; }

}  // namespace

// ---- the file --------------------------------------------------------------------------------------------------

CsvTable read_csv_table(const std::string& bytes) {
    CsvTable table;
    const std::string text = import_text(bytes);
    table.separator = detect_separator(text);
    int line = 1;
    for (const std::string& raw : csv_lines(text, table.separator)) {
        const int starts_at = line;
        // A quoted value may hold line breaks; the next record starts below them.
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\n' || (raw[i] == '\r' && (i + 1 >= raw.size() || raw[i + 1] != '\n'))) ++line;
        }
        ++line;
        if (trim(raw).empty()) continue;
        std::vector<std::string> fields = split_csv_line(raw, table.separator);
        if (table.header_line == 0) {
            table.header = std::move(fields);
            table.header_line = starts_at;
        } else {
            table.rows.push_back(CsvRow{starts_at, std::move(fields)});
        }
    }
    return table;
}

// ---- the columns ---------------------------------------------------------------------------------------------

FillUpLayout guess_layout(const CsvTable& table, bool us_units, DateOrder locale_order) {
    FillUpLayout layout;
    std::vector<Column> columns;
    for (const std::string& h : table.header) columns.push_back(normalise(h));
    for (int part = 0; part < kFillUpColumns; ++part) {
        for (std::size_t c = 0; c < columns.size() && layout.columns[static_cast<std::size_t>(part)] == 0; ++c) {
            const std::vector<std::string>& names = kAliases[part];
            if (std::find(names.begin(), names.end(), columns[c].name) != names.end()) {
                layout.columns[static_cast<std::size_t>(part)] = static_cast<int>(c) + 1;
            }
        }
    }
    const auto column_of = [&](int part) -> const Column* {
        const int c = layout.columns[static_cast<std::size_t>(part)];
        return c > 0 ? &columns[static_cast<std::size_t>(c - 1)] : nullptr;
    };
    bool fuelly = false, spritmonitor = false;
    for (const Column& c : columns) {
        fuelly = fuelly || c.name == "fuelup date";
        spritmonitor = spritmonitor || c.name == "bc consumption" || (c.name == "trip" && table.separator == ';');
    }

    // Distances: what the odometer's header says, then what the file's other
    // columns are counted in (Fuelly writes "miles" or "km" and "mpg" or
    // "l/100km"), then the locale.
    int miles = 0;
    if (const Column* odo = column_of(kColumnOdometer)) {
        if (is_one_of(odo->hint, {"mi", "miles", "mile"})) miles = 1;
        if (is_one_of(odo->hint, {"km", "kilometres", "kilometers"})) miles = -1;
    }
    for (const Column& c : columns) {
        if (miles != 0) break;
        if (is_one_of(c.name, {"miles", "mpg"})) miles = 1;
        if (is_one_of(c.name, {"km", "l/100km", "kilometer", "kilometres", "kilometers"}) || spritmonitor) miles = -1;
    }
    layout.distance = miles > 0 || (miles == 0 && us_units) ? DistanceUnit::Miles : DistanceUnit::Kilometres;

    // Fuel: the quantity's own name or hint, then the unit price's, then the distance and the locale.
    int gallons = 0;
    for (const Column* c : {column_of(kColumnQuantity), column_of(kColumnUnitPrice)}) {
        if (!c || gallons != 0) continue;
        const std::string both = c->name + " (" + c->hint + ")";
        if (mentions(both, "gallon") || mentions(both, "gal)") || mentions(both, "/ gal") || mentions(both, "/gal")) gallons = 1;
        if (mentions(both, "litre") || mentions(both, "liter") || mentions(both, "(l)") || mentions(both, "/ l") ||
            mentions(both, "/l")) {
            gallons = -1;
        }
    }
    if (gallons == 0 && spritmonitor) gallons = -1;
    layout.volume = gallons > 0 || (gallons == 0 && us_units) ? VolumeUnit::UsGallons : VolumeUnit::Litres;

    // Dates: a part above 12 tells day from month; then the file's habits,
    // then the locale.
    bool day_first = false, month_first = false, dotted = false, year_first = false;
    for (const CsvRow& row : table.rows) {
        const std::string date = field(row, layout.columns[kColumnDate]);
        const std::vector<DigitGroup> g = digit_groups(without_time(date));
        if (g.size() < 3) continue;
        if (g[0].digits == 4) {
            year_first = true;
            continue;
        }
        dotted = dotted || date.find('.') != std::string::npos;
        day_first = day_first || g[0].value > 12;
        month_first = month_first || g[1].value > 12;
    }
    if (day_first != month_first) {
        layout.dates = day_first ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
    } else if (dotted || spritmonitor) {
        layout.dates = DateOrder::DayMonthYear;
    } else if (fuelly) {
        layout.dates = DateOrder::MonthDayYear;
    } else if (year_first) {
        layout.dates = DateOrder::YearMonthDay;
    } else {
        layout.dates = locale_order;
    }

    // The decimal mark: what the numbers show, else the separator's habit.
    int evidence = 0;
    for (const CsvRow& row : table.rows) {
        for (int part : {kColumnOdometer, kColumnQuantity, kColumnTotalCost, kColumnUnitPrice}) {
            evidence += decimal_evidence(field(row, layout.columns[static_cast<std::size_t>(part)]));
        }
    }
    layout.decimal = evidence > 0 || (evidence == 0 && table.separator == ';') ? ',' : '.';
    return layout;
}

bool layout_complete(const FillUpLayout& layout) {
    return layout.columns[kColumnDate] > 0 && layout.columns[kColumnOdometer] > 0 && layout.columns[kColumnQuantity] > 0;
}

// ---- the rows ------------------------------------------------------------------------------------------------------

bool read_file_date(const std::string& input, DateOrder order, int& year, int& month, int& day) {
    std::string text = without_time(trim(input));
    const std::string lower = to_lower(text);
    std::size_t at = 0, length = 0;
    const int named = month_named(lower, at, length);
    if (named > 0) {
        // "Mar 7, 2024", "7 March 2024", "07-Mar-2024": the four digits are the year, the others the day.
        text.erase(at, length);
        const std::vector<DigitGroup> g = digit_groups(text);
        if (g.size() != 2) return false;
        const bool year_second = g[1].digits == 4 || (g[0].digits != 4 && g[1].value > 31);
        const DigitGroup& y = year_second ? g[1] : g[0];
        const DigitGroup& d = year_second ? g[0] : g[1];
        year = full_year(y.value, y.digits);
        month = named;
        day = d.value;
        return d.digits <= 2 && calendar_date(year, month, day);
    }
    const std::vector<DigitGroup> g = digit_groups(text);
    if (g.size() != 3 || std::any_of(g.begin(), g.end(), [](const DigitGroup& x) { return x.digits > 4; })) return false;
    // Nothing but digits and the marks between them.
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '/' && c != '-' && c != '.' && c != ' ') return false;
    }
    DigitGroup y, m, d;
    if (g[0].digits == 4 || order == DateOrder::YearMonthDay) {
        y = g[0], m = g[1], d = g[2];
    } else if (order == DateOrder::DayMonthYear) {
        d = g[0], m = g[1], y = g[2];
    } else {
        m = g[0], d = g[1], y = g[2];
    }
    if (m.digits > 2 || d.digits > 2 || y.digits == 3 || y.digits == 1) return false;
    year = full_year(y.value, y.digits);
    month = m.value;
    day = d.value;
    return calendar_date(year, month, day);
}

std::string plain_number(const std::string& input, char decimal) {
    const std::string text = trim(input);
    const std::size_t first = text.find_first_of("0123456789.,");
    const std::size_t last = text.find_last_of("0123456789");
    if (first == std::string::npos || last == std::string::npos || last < first) return {};
    // Before and after the number only a currency sign or a unit word: no sign, no second number.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i >= first && i <= last) continue;
        const char c = text[i];
        if (c == '-' || c == '+' || c == '.' || c == ',' || std::isdigit(static_cast<unsigned char>(c))) return {};
    }
    const char grouping = decimal == ',' ? '.' : ',';
    std::string digits;
    bool seen_decimal = false;
    std::size_t since_group = 0;
    bool grouped = false;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            digits += c;
            ++since_group;
        } else if (c == decimal) {
            if (seen_decimal || (grouped && since_group != 3)) return {};
            seen_decimal = true;
            digits += digits.empty() ? "0." : ".";
        } else if (c == grouping || c == ' ' || c == '\'') {
            // A group of three digits follows, and comes after whole digits only.
            if (seen_decimal || (grouped && since_group != 3) || digits.empty()) return {};
            grouped = true;
            since_group = 0;
        } else {
            return {};  // "1e5", "12abc34"
        }
    }
    if (grouped && !seen_decimal && since_group != 3) return {};
    return digits;
}

ReadFillUps read_fill_ups(const CsvTable& table, const FillUpLayout& layout) {
    ReadFillUps out;
    const auto& col = layout.columns;
    for (const CsvRow& row : table.rows) {
        const bool blank = std::all_of(row.fields.begin(), row.fields.end(), [](const std::string& f) { return trim(f).empty(); });
        if (blank) continue;
        const auto bad = [&](const std::string& reason) { out.bad.push_back(BadRow{row.line, reason}); };
        FillUp f;
        f.line = row.line;
        const std::string date = field(row, col[kColumnDate]);
        if (date.empty()) {
            bad("no date");
            continue;
        }
        if (!read_file_date(date, layout.dates, f.year, f.month, f.day)) {
            bad("the date cannot be read");
            continue;
        }
        const std::string odometer_text = field(row, col[kColumnOdometer]);
        const std::string odometer = plain_number(odometer_text, layout.decimal);
        if (odometer_text.empty()) {
            bad("no odometer reading");
            continue;
        }
        if (odometer.empty()) {
            bad("the odometer reading cannot be read");
            continue;
        }
        f.odometer = distance_entry(odometer + (layout.distance == DistanceUnit::Miles ? " mi" : " km")).value_or(0);
        const std::string quantity_text = field(row, col[kColumnQuantity]);
        const std::string quantity = plain_number(quantity_text, layout.decimal);
        if (!quantity_text.empty() && quantity.empty()) {
            bad("the fuel quantity cannot be read");
            continue;
        }
        switch (layout.volume) {
            case VolumeUnit::UsGallons: f.fuel = fuel_entry(quantity + " g").value_or(0); break;
            case VolumeUnit::UkGallons:
                f.fuel = static_cast<std::int64_t>(std::llround(static_cast<long double>(fuel_entry(quantity + " l").value_or(0)) * 4.54609L));
                break;
            case VolumeUnit::Litres: f.fuel = fuel_entry(quantity + " l").value_or(0); break;
        }
        if (f.fuel <= 0) {
            bad("no fuel quantity");
            continue;
        }
        // The total as written; without one, the price per unit times the quantity.
        const std::string total_text = field(row, col[kColumnTotalCost]);
        const std::string price_text = field(row, col[kColumnUnitPrice]);
        if (!total_text.empty()) {
            const std::string total = plain_number(total_text, layout.decimal);
            if (total.empty()) {
                bad("the cost cannot be read");
                continue;
            }
            f.cost = cost_entry(total).value_or(0);
        } else if (!price_text.empty()) {
            const std::string price = plain_number(price_text, layout.decimal);
            if (price.empty()) {
                bad("the price cannot be read");
                continue;
            }
            const long double cost = static_cast<long double>(cost_entry(price).value_or(0)) * number_value(quantity);
            f.cost = cost < 9e18L ? static_cast<std::int64_t>(std::llround(cost)) : std::int64_t{-1};
        }
        out.fill_ups.push_back(f);
    }
    return out;
}

// ---- into the vehicle -------------------------------------------------------------------------------------------------

ImportPlan plan_import(const ReadFillUps& read, const VehicleStore& store, std::int32_t vehicle_id,
                       std::int32_t first_record_id) {
    ImportPlan plan;
    plan.bad = read.bad;
    // The vehicle's fill-ups by where they ended, and on which days.
    std::set<std::int64_t> ends;
    std::set<std::pair<std::int64_t, int>> there;
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if (h.type != kRecordFuel || h.vehicle_id != vehicle_id) continue;
        ends.insert(h.b);
        there.insert({h.b, day_key(h.year, h.month, h.day)});
    }
    std::vector<FillUp> rows = read.fill_ups;
    std::stable_sort(rows.begin(), rows.end(), [](const FillUp& a, const FillUp& b) { return a.odometer < b.odometer; });
    std::int32_t record_id = first_record_id;
    for (const FillUp& f : rows) {
        if (there.count({f.odometer, day_key(f.year, f.month, f.day)})) {
            ++plan.already_there;
            continue;
        }
        const auto below = ends.lower_bound(f.odometer);
        if (below != ends.end() && *below == f.odometer) {
            plan.bad.push_back(BadRow{f.line, "the same odometer reading as the fill-up before it"});
            continue;
        }
        if (below == ends.begin()) {
            // Nothing before it to measure from: it only gives the next one its start.
            if (plan.first_without_start == 0) plan.first_without_start = f.line;
            ends.insert(f.odometer);
            continue;
        }
        const std::int64_t start = *std::prev(below);
        const std::int64_t economy = fuel_economy(start, f.odometer, f.fuel);
        if (!fits_stored(f.odometer) || !fits_stored(f.fuel) || !fits_stored(f.cost) || f.cost < 0 || !fits_stored(economy)) {
            plan.bad.push_back(BadRow{f.line, "a value too large to store"});
            continue;
        }
        ChunkHeader h;
        h.type = kRecordFuel;
        h.vehicle_id = vehicle_id;
        h.record_id = record_id++;
        h.year = static_cast<std::uint16_t>(f.year);
        h.month = static_cast<std::uint8_t>(f.month);
        h.day = static_cast<std::uint8_t>(f.day);
        h.a = static_cast<std::int32_t>(start);
        h.b = static_cast<std::int32_t>(f.odometer);
        h.c = static_cast<std::int32_t>(f.fuel);
        h.d = static_cast<std::int32_t>(f.cost);
        h.e = static_cast<std::int32_t>(economy);
        plan.records.push_back(h);
        ends.insert(f.odometer);
    }
    std::stable_sort(plan.bad.begin(), plan.bad.end(), [](const BadRow& a, const BadRow& b) { return a.line < b.line; });
    return plan;
}

}  // namespace domora
