// Dates, quantities and money of the vehicle log: reading what the user
// types into the stored units (hundredths of a kilometre, millilitres,
// thousandths of the currency, ten-thousandths of a km per litre) and
// writing stored values back as text in U.S. or metric units.
//
// The unit system is asked of the platform each time it matters, so a
// change of the user's locale shows at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace domora {

// U.S. customary units (miles, gallons, mpg) rather than metric.
bool us_units();

// ---- dates --------------------------------------------------------------------------------------

struct VehicleDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Takes 2024/3/7, 2024-03-07, 3/7/2024, Mar 7, 2024, 7 March 2024 and
// 2024 Mar 7 alike; parts it cannot find are 0.
VehicleDate read_date(std::string_view text);
// A day of the calendar from 1900 to 2500: no February 30, and February 29
// in leap years only.
bool valid_date(const VehicleDate& date);
// A day of the calendar (leap years by the Gregorian rule) from 1900 to 2500.
bool calendar_date(int year, int month, int day);
// "Mar 7, 2024", with the month name of the user's locale.
std::string format_date(int year, int month, int day);
// "2024/03/07", as the forms show a date.
std::string date_entry_text(int year, int month, int day);

// ---- what the user types ------------------------------------------------------------------------

// What the user types for a distance, a fuel quantity or a cost: digits with
// at most one decimal point and commas grouping thousands, blanks around, and
// for a cost a leading "$". Anything else (a sign, "1e5", "12..5", "12,5")
// is std::nullopt rather than a guess; an empty text is 0.

// The stored value of a typed odometer reading (hundredths of a km). A unit
// word "mi"/"mile(s)" is miles, "km"/"kilometre(s)" kilometres, none the
// locale's unit. Values too large for any integer come back as INT64_MAX, so
// callers can refuse what does not fit the file.
std::optional<std::int64_t> distance_entry(std::string_view text);
// Millilitres: "g"/"gal"/"gallon(s)" after the number means U.S. gallons,
// "l"/"liter(s)"/"litre(s)" litres, none the locale's unit.
std::optional<std::int64_t> fuel_entry(std::string_view text);
// Thousandths of the currency, never negative.
std::optional<std::int64_t> cost_entry(std::string_view text);
// Ten-thousandths of a km per litre for a fill-up; fuel must be above 0.
std::int64_t fuel_economy(std::int64_t odometer_start, std::int64_t odometer_end, std::int64_t fuel);
// True when a value fits the file's signed 32-bit fields.
bool fits_stored(std::int64_t value);

// ---- display ------------------------------------------------------------------------------------

std::string format_odometer(std::int64_t hundredths_km);  // "12,345 mi", "19,868 km"
std::string format_fuel(std::int64_t millilitres);        // "10.0 gal", "1,234.5 liter"
// In the unit the Options screen chose: "30.0 mpg", "12.8 km/l", "7.84 L/100 km", "36.0 mpg (UK)".
std::string format_economy(std::int64_t economy);
// The same in a given FuelEconomyUnit (settings.h); Automatic follows the locale.
std::string format_economy_in(std::int64_t economy, int unit);
// The unit economy is shown in now: the setting, with Automatic (or a value
// no unit has) resolved by the locale. Never kEconomyAutomatic.
int economy_display_unit();
// Its short name as the displays end: "km/l", "L/100 km", "mpg", "mpg (UK)".
std::string economy_unit_name(int unit);
// A stored economy as a number in the unit, for drawing; 0 for 0 or less.
double economy_value(std::int64_t economy, int unit);
std::string format_cost(std::int64_t thousandths);        // "1234.56"
std::string format_cost_total(std::int64_t thousandths);  // "$ 1,234.56"
// Cost per displayed litre or gallon, "0.00"; 0.00 when the shown quantity is 0.
std::string fuel_price(std::int64_t cost, std::int64_t millilitres);
// "30.0 mpg   (300 mi using 10.0 gal at $3.50)": a fill-up as the list shows it.
std::string fuel_detail(std::int64_t odometer_start, std::int64_t odometer_end, std::int64_t millilitres,
                        std::int64_t cost, std::int64_t economy);

// The texts a form starts from: the display text without its unit and
// grouping ("" for 0), and the cost as "0.00" ("" for 0).
std::string odometer_entry_text(std::int64_t hundredths_km);
std::string fuel_entry_text(std::int64_t millilitres);
std::string cost_entry_text(std::int64_t thousandths);

}  // namespace domora
