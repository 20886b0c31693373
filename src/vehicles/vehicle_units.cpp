#include "vehicles/vehicle_units.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <limits>

#include "app/settings.h"
#include "app/text.h"
#include "platform/platform.h"

namespace domora {

namespace {

// Exact arithmetic throughout: typed decimals and stored integers are scaled
// into 128-bit integers, so the halves that the rounding rules care about are
// real halves and not artefacts of binary fractions.
using Wide = __int128;

constexpr Wide kMantissaLimit = static_cast<Wide>(1000000000000LL) * 1000000000000LL;  // 10^24
// Decimals read from a typed number; with the conversions' own shift the
// divisor stays far inside 10^38, the largest power of ten a Wide holds.
constexpr int kMostDecimals = 24;

Wide power_of_ten(int n) {
    Wide p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

// Nearest integer to num / den (den > 0), halves to the even neighbour.
Wide divide_half_even(Wide num, Wide den) {
    Wide q = num / den;
    Wide r = num % den;
    if (r < 0) {
        r += den;
        q -= 1;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) q += 1;
    return q;
}

// Nearest integer to num / den (den > 0), halves away from zero, as a
// display mask rounds.
Wide divide_half_away(Wide num, Wide den) {
    const Wide magnitude = num < 0 ? -num : num;
    const Wide q = (2 * magnitude + den) / (2 * den);
    return num < 0 ? -q : q;
}

std::int64_t saturate(Wide value) {
    if (value > std::numeric_limits<std::int64_t>::max()) return std::numeric_limits<std::int64_t>::max();
    if (value < std::numeric_limits<std::int64_t>::min()) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// A typed number: digits with at most one decimal point, grouping commas
// already taken out.
struct Decimal {
    Wide mantissa = 0;
    int scale = 0;      // decimals in the mantissa
    bool huge = false;  // more integer digits than any field could hold
};

Decimal typed_number(std::string_view kept) {
    Decimal d;
    std::size_t i = 0;
    for (; i < kept.size() && kept[i] != '.'; ++i) {
        d.mantissa = d.mantissa * 10 + (kept[i] - '0');
        if (d.mantissa >= kMantissaLimit) {
            d.huge = true;
            return d;
        }
    }
    if (i < kept.size() && kept[i] == '.') {
        bool dropped = false;
        for (++i; i < kept.size(); ++i) {
            // Decimals beyond what the mantissa holds, or beyond kMostDecimals
            // (whose power of ten must still fit), are far below any stored unit.
            if (d.mantissa * 10 >= kMantissaLimit || d.scale >= kMostDecimals) {
                dropped = dropped || kept[i] != '0';
                continue;
            }
            d.mantissa = d.mantissa * 10 + (kept[i] - '0');
            ++d.scale;
        }
        // A digit standing for what was dropped keeps a value just above a
        // half from being rounded as an exact half.
        if (dropped) {
            d.mantissa = d.mantissa * 10 + 1;
            ++d.scale;
        }
    }
    return d;
}

// What a typed amount says: its digits (grouping taken out, at most one
// point) and the word after them, lower-cased.
struct Amount {
    std::string digits;
    std::string unit;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits "$ 1,234.5", "9,400 mi", "12.5gal" into number and unit word.
// Anything that would have to be guessed at -- a sign, an exponent, a
// second point, a comma that does not group thousands, a second number --
// is no amount at all, so the form can say so instead of storing a
// different number than the one typed.
std::optional<Amount> split_amount(std::string_view text, bool currency) {
    std::size_t i = 0;
    const auto skip_blanks = [&] {
        while (i < text.size() && is_blank(text[i])) ++i;
    };
    skip_blanks();
    if (currency && i < text.size() && text[i] == '$') {
        ++i;
        skip_blanks();
    }
    Amount a;
    bool point = false;
    bool grouped = false;
    std::size_t group = 0;  // digits since the last comma, or of the whole part
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            a.digits += c;
            ++group;
        } else if (c == '.') {
            if (point || (grouped && group != 3)) return std::nullopt;
            point = true;
            a.digits += '.';
        } else if (c == ',') {
            // Groups of three whole digits only: "12,5" may be a decimal comma.
            if (point || group == 0 || group > 3 || (grouped && group != 3)) return std::nullopt;
            grouped = true;
            group = 0;
        } else {
            break;
        }
    }
    if (grouped && !point && group != 3) return std::nullopt;
    skip_blanks();
    for (; i < text.size() && !is_blank(text[i]); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 'A' || (c > 'Z' && c < 'a') || c > 'z') return std::nullopt;
        a.unit += static_cast<char>(c | 0x20);
    }
    skip_blanks();
    if (i != text.size()) return std::nullopt;
    const bool has_digit = a.digits.find_first_of("0123456789") != std::string::npos;
    // Blank is zero, as an empty field always was; a lone "." or "$" or unit is not.
    if (!has_digit && (!a.digits.empty() || !a.unit.empty() || text.find('$') != std::string_view::npos)) {
        return std::nullopt;
    }
    return a;
}

bool one_of(const std::string& word, std::initializer_list<const char*> words) {
    return std::any_of(words.begin(), words.end(), [&](const char* w) { return word == w; });
}

// round(typed value x factor / 10^shift), halves to even; factor carries the
// unit conversion as an integer.
std::int64_t scaled_entry(const Decimal& d, Wide factor, int shift) {
    if (d.huge) return std::numeric_limits<std::int64_t>::max();
    return saturate(divide_half_even(d.mantissa * factor, power_of_ten(d.scale + shift)));
}

std::string group_thousands(const std::string& digits) {
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string wide_digits(Wide value) {
    if (value == 0) return "0";
    std::string digits;
    while (value > 0) {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    return digits;
}

// scaled / 10^decimals as text, with at least one integer digit.
std::string fixed_text(Wide scaled, int decimals, bool grouping) {
    const bool negative = scaled < 0;
    const Wide magnitude = negative ? -scaled : scaled;
    const Wide unit = power_of_ten(decimals);
    std::string whole = wide_digits(magnitude / unit);
    if (grouping) whole = group_thousands(whole);
    std::string text = (negative ? "-" : "") + whole;
    if (decimals > 0) {
        std::string fraction = wide_digits(magnitude % unit);
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
        text += "." + fraction;
    }
    return text;
}

// Displayed tenths of the fuel quantity, the number the price is taken per.
Wide fuel_tenths(std::int64_t millilitres) {
    return us_units() ? divide_half_away(static_cast<Wide>(millilitres) * 1000000, 378541178)
                      : divide_half_away(millilitres, 100);
}

std::string keep_number_characters(const std::string& text) {
    std::string kept;
    for (char c : text) {
        if ((c >= '0' && c <= '9') || c == '.') kept += c;
    }
    return kept;
}

}  // namespace

bool us_units() { return platform().measurement_is_us(); }

// ---- dates ---------------------------------------------------------------------------------------

VehicleDate read_date(std::string_view input) {
    const std::string text = trim(to_lower(input));
    VehicleDate date;

    std::string numeric;
    for (char c : text) {
        const char d = (c == '/' || c == '.') ? '-' : c;
        if ((d >= '0' && d <= '9') || d == '-') numeric += d;
    }
    std::size_t first = numeric.find('-');
    std::size_t second = first == std::string::npos ? std::string::npos : numeric.find('-', first + 1);
    if (second != std::string::npos) {
        const std::size_t third = numeric.find('-', second + 1);
        if (third != std::string::npos) numeric.resize(third);
        const std::string_view n = numeric;
        date.year = leading_number(n.substr(0, first));
        date.month = leading_number(n.substr(first + 1, second - first - 1));
        date.day = leading_number(n.substr(second + 1));
        if (date.day > 31) {
            // Written month first: 3/7/2024.
            const int year = date.day;
            date.day = date.month;
            date.month = date.year;
            date.year = year;
        }
        return date;
    }

    static const char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    std::string rest = text;
    for (int m = 1; m <= 12; ++m) {
        const std::size_t at = rest.find(std::string_view(kMonths + 3 * (m - 1), 3));
        if (at == std::string::npos) continue;
        date.month = m;
        const std::size_t word_end = rest.find(' ', at);
        rest.erase(at, word_end == std::string::npos ? std::string::npos : word_end - at);
        rest = trim(rest);
        break;
    }
    std::string plain;
    for (char c : rest) {
        if (c != ',') plain += c;
    }
    const std::size_t first_space = plain.find(' ');
    const std::size_t last_space = plain.rfind(' ');
    const std::string_view p = plain;
    if (first_space == std::string::npos || first_space + 1 <= 4) {
        // "7 2024" or a bare year: the day comes first.
        date.day = first_space == std::string::npos ? 0 : leading_number(p.substr(0, first_space));
        date.year = leading_number(last_space == std::string::npos ? p : p.substr(last_space + 1));
    } else {
        date.year = leading_number(p.substr(0, first_space));
        date.day = leading_number(p.substr(last_space + 1));
    }
    return date;
}

bool valid_date(const VehicleDate& date) { return calendar_date(date.year, date.month, date.day); }

bool calendar_date(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || year > 2500 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && leap ? 29 : kDays[month - 1]);
}

std::string format_date(int year, int month, int day) {
    char tail[40];
    std::snprintf(tail, sizeof tail, " %d, %04d", day, year);
    return platform().month_abbreviation(month) + tail;
}

std::string date_entry_text(int year, int month, int day) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d", year, month, day);
    return text;
}

// ---- what the user types ----------------------------------------------------------------------------

std::optional<std::int64_t> distance_entry(std::string_view text) {
    const std::optional<Amount> a = split_amount(text, false);
    if (!a) return std::nullopt;
    bool miles = us_units();
    if (one_of(a->unit, {"mi", "mile", "miles"})) {
        miles = true;
    } else if (one_of(a->unit, {"km", "kms", "kilometer", "kilometers", "kilometre", "kilometres"})) {
        miles = false;
    } else if (!a->unit.empty()) {
        return std::nullopt;
    }
    // Kilometres to three decimals (the factor carries 10^6), then hundredths.
    const std::int64_t thousandths = scaled_entry(typed_number(a->digits), miles ? 1609344 : 1000000, 3);
    if (thousandths == std::numeric_limits<std::int64_t>::max()) return thousandths;
    return saturate(divide_half_even(thousandths, 10));
}

std::optional<std::int64_t> fuel_entry(std::string_view text) {
    const std::optional<Amount> a = split_amount(text, false);
    if (!a) return std::nullopt;
    bool gallons = us_units();
    if (one_of(a->unit, {"g", "gal", "gals", "gallon", "gallons"})) {
        gallons = true;
    } else if (one_of(a->unit, {"l", "liter", "liters", "litre", "litres"})) {
        gallons = false;
    } else if (!a->unit.empty()) {
        return std::nullopt;
    }
    // Litres to three decimals are millilitres; the factor carries 10^8.
    return scaled_entry(typed_number(a->digits), gallons ? 378541178 : 100000000, 5);
}

std::optional<std::int64_t> cost_entry(std::string_view text) {
    const std::optional<Amount> a = split_amount(text, true);
    if (!a || !a->unit.empty()) return std::nullopt;
    return scaled_entry(typed_number(a->digits), 1000, 0);
}

std::int64_t fuel_economy(std::int64_t odometer_start, std::int64_t odometer_end, std::int64_t fuel) {
    if (fuel <= 0) return 0;
    // 100 x distance / fuel in km per litre, to three decimals, in thousandths.
    return saturate(divide_half_even(static_cast<Wide>(odometer_end - odometer_start) * 100000, fuel));
}

bool fits_stored(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

// ---- display ------------------------------------------------------------------------------------------

std::string format_odometer(std::int64_t x) {
    if (us_units()) return fixed_text(divide_half_even(static_cast<Wide>(x) * 10000, 1609344), 0, true) + " mi";
    return fixed_text(divide_half_even(x, 100), 0, true) + " km";
}

std::string format_fuel(std::int64_t x) {
    if (us_units()) return fixed_text(fuel_tenths(x), 1, false) + " gal";
    return fixed_text(fuel_tenths(x), 1, true) + " liter";
}

std::string format_economy(std::int64_t x) { return format_economy_in(x, economy_display_unit()); }

std::string format_economy_in(std::int64_t x, int unit) {
    if (unit == kEconomyAutomatic) unit = us_units() ? kEconomyMpgUs : kEconomyKmPerLitre;
    switch (unit) {
        case kEconomyMpgUs: {
            // mpg to three decimals of the stored unit, shown to one decimal.
            const Wide thousandths = divide_half_even(static_cast<Wide>(x) * 235214583, 100000);
            return fixed_text(divide_half_away(thousandths, 1000000), 1, true) + " mpg";
        }
        case kEconomyLitresPer100Km:
            // 100 / (x / 10^4) litres, to hundredths; no fuel burnt per 100 km has no figure.
            if (x <= 0) return "-- L/100 km";
            return fixed_text(divide_half_away(static_cast<Wide>(100000000), x), 2, true) + " L/100 km";
        case kEconomyMpgUk:
            // km/l x 4.54609 / 1.609344, to tenths.
            return fixed_text(divide_half_away(static_cast<Wide>(x) * 454609, 160934400), 1, true) + " mpg (UK)";
        default: {
            const Wide hundredths = divide_half_even(x, 100);
            return fixed_text(divide_half_away(hundredths, 10), 1, true) + " km/l";
        }
    }
}

int economy_display_unit() {
    const int unit = settings().fuel_economy_unit;
    if (unit > kEconomyAutomatic && unit < kEconomyUnitCount) return unit;
    return us_units() ? kEconomyMpgUs : kEconomyKmPerLitre;
}

std::string economy_unit_name(int unit) {
    switch (unit) {
        case kEconomyLitresPer100Km: return "L/100 km";
        case kEconomyMpgUs: return "mpg";
        case kEconomyMpgUk: return "mpg (UK)";
        case kEconomyKmPerLitre: return "km/l";
        default: return economy_unit_name(economy_display_unit());
    }
}

double economy_value(std::int64_t x, int unit) {
    if (x <= 0) return 0;
    const double km_per_litre = static_cast<double>(x) / 10000.0;
    switch (unit) {
        case kEconomyLitresPer100Km: return 100.0 / km_per_litre;
        case kEconomyMpgUs: return km_per_litre * 3.785411784 / 1.609344;
        case kEconomyMpgUk: return km_per_litre * 4.54609 / 1.609344;
        case kEconomyKmPerLitre: return km_per_litre;
        default: return economy_value(x, economy_display_unit());
    }
}

std::string format_cost(std::int64_t x) { return fixed_text(divide_half_away(x, 10), 2, false); }

std::string format_cost_total(std::int64_t x) { return "$ " + fixed_text(divide_half_away(x, 10), 2, true); }

std::string fuel_price(std::int64_t cost, std::int64_t millilitres) {
    // cost / 1000 / (tenths / 10) in hundredths is cost / tenths.
    const Wide tenths = fuel_tenths(millilitres);
    if (tenths == 0) return fixed_text(0, 2, false);
    return fixed_text(divide_half_away(tenths < 0 ? -static_cast<Wide>(cost) : cost, tenths < 0 ? -tenths : tenths), 2,
                      false);
}

std::string fuel_detail(std::int64_t odometer_start, std::int64_t odometer_end, std::int64_t millilitres,
                        std::int64_t cost, std::int64_t economy) {
    return format_economy(economy) + "   (" + format_odometer(odometer_end - odometer_start) + " using " +
           format_fuel(millilitres) + " at $" + fuel_price(cost, millilitres) + ")";
}

std::string odometer_entry_text(std::int64_t x) { return x == 0 ? std::string() : keep_number_characters(format_odometer(x)); }

std::string fuel_entry_text(std::int64_t x) { return x == 0 ? std::string() : keep_number_characters(format_fuel(x)); }

std::string cost_entry_text(std::int64_t x) { return x == 0 ? std::string() : format_cost(x); }

}  // namespace domora
