// Printing the selected fuel and maintenance records of the current vehicle:
// a heading with the vehicle's photo, VIN and licence on the first page, then
// a table of date, odometer, cost and the record's text, wrapped to the page
// and numbered page by page at the bottom.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "printing/print_settings.h"

namespace domora {

struct VehicleManager;

// The Print button: the "Vehicle Records" print settings, their screen, and
// the print when the user confirms.
void print_vehicle_records(VehicleManager& m);

// Prints the selected records of the current vehicle with the record, which
// is validated first. False when nothing was printed (no data, no record
// selected, or a printer that did not start; the user has been told).
bool print_vehicle_records(VehicleManager& m, PrintSettings& record);

// ---- wrapping, shared by the heading, VIN, licence and record texts --------------------------

// One wrapped line: its text and the y it is drawn at.
struct WrappedLine {
    std::string text;
    int y = 0;
};

// Lays text out from x to right starting at y: each line breaks at the last
// blank that fits (the blank itself is dropped) or, for a word wider than
// the room, between characters. Every line but the last moves y down by
// its measured height. Returns the lines; y is left at the last line's top.
std::vector<WrappedLine> wrap_print_text(FontHandle font, const std::string& text, int x, int right, int& y);

}  // namespace domora
