// The Charts view of the Vehicles screen: the current vehicle's economy per
// fill-up over time with its overall average, and its costs month by month
// with fuel and maintenance stacked; on the screen, and printed on one page
// through the print engine.
#pragma once

#include <cstdint>
#include <string>

#include "printing/print_settings.h"
#include "ui/chart.h"
#include "vehicles/vehicle_store.h"

namespace domora {

struct VehicleManager;

struct VehicleCharts {
    LineChart economy;
    BarChart costs;
    int fill_ups = 0;
    // The overall economy of every fill-up, in economy units: total distance over total fuel.
    std::int64_t average_economy = 0;
};

// The charts of a vehicle's records, in the economy unit chosen now. Every
// fuel and maintenance record counts, whatever the display filter shows.
VehicleCharts vehicle_charts(const VehicleStore& store, std::int32_t vehicle_id);

// Both charts, one above the other, in area.
void draw_vehicle_charts(ChartCanvas& canvas, const Rect& area, const VehicleCharts& charts, DateOrder order);

// The Charts button: the view with Print and Close, until the user closes it.
void show_vehicle_charts(VehicleManager& m);
// Prints the current vehicle's charts on one page with the record (the
// "Vehicle Records" settings), validated first. False when nothing was
// printed (the user has been told why).
bool print_vehicle_charts(VehicleManager& m, PrintSettings& record);

}  // namespace domora
