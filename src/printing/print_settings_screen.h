// The print settings screen: every value of a layout's print settings as a
// row that opens a chooser, the return address, a preview of the label sheet
// where used labels can be marked, Defaults, OK and Cancel.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "printing/print_settings.h"

namespace domora {

// One byte per label position of a sheet (row x across + column): 1 blank and
// printable, 0 used and skipped.
using LabelMap = std::array<std::uint8_t, 256>;
LabelMap& label_map();
void reset_label_map();

inline constexpr int kPrintSettingsPrint = 1;
inline constexpr int kPrintSettingsCancel = 2;

// Works on record in place; returns 1 to print, 2 to cancel. A null record
// shows "No printer settings buffer?" and cancels.
int print_settings_screen(int layout_id, const std::string& layout_name, PrintSettings* record);

// ---- the choosers' values, for the screen and for tests -------------------------------------

// "0.188\"": thousandths of an inch with three decimals and the inch sign.
std::string inches_text(double thousandths);
enum LengthRow { kRowHorizontalPosition, kRowVerticalPosition, kRowHorizontalSpacing, kRowVerticalSpacing,
                 kRowLeftMargin, kRowRightMargin, kRowTopMargin, kRowBottomMargin };
// The entries the length picker offers for a row, from the record's values.
std::vector<std::string> length_choices(const PrintSettings& record, int row);
// Thousandths stored for entry k: 62.5 x k, halves to even.
std::int32_t length_of_entry(int k);
std::string paper_name(int paper);
// The printer's font families for the font picker: sorted, "@" names left out, at most 500.
std::vector<std::string> font_choices(const std::string& printer);
// Lets the user pick a printer and its options; validates the record.
void choose_printer(int layout_id, PrintSettings& record);

}  // namespace domora
