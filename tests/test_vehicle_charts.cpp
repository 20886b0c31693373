// The charts: round ticks, the time axis in the user's date order, what the
// economy and cost charts draw (looked at call by call, not as pixels), the
// empty and one-fill-up cases, and the page the print engine makes of them.
#include <algorithm>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/headless/headless_print.h"
#include "printing/print_settings.h"
#include "ui/chart.h"
#include "ui/popups.h"
#include "vehicle_fixtures.h"
#include "vehicle_ui_fixture.h"
#include "vehicles/vehicle_charts.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_screen.h"
#include "vehicles/vehicle_units.h"

namespace domora {
namespace {

// Every character 8 pixels wide and 16 high.
class RecordingCanvas : public ChartCanvas {
public:
    struct Text {
        int x, y;
        std::string text;
    };
    struct Line {
        int x1, y1, x2, y2, width;
        std::uint32_t colour;
    };
    TextExtent measure(ChartFont, const std::string& text) override { return TextExtent{8 * static_cast<int>(text.size()), 16}; }
    void text(int x, int y, ChartFont, std::uint32_t, const std::string& text) override { texts.push_back({x, y, text}); }
    void line(int x1, int y1, int x2, int y2, int width, std::uint32_t colour) override {
        lines.push_back({x1, y1, x2, y2, width, colour});
    }
    void fill(const Rect& r, std::uint32_t colour) override { fills.push_back({r, colour}); }
    int thin() const override { return 1; }

    bool has(const std::string& t) const {
        return std::any_of(texts.begin(), texts.end(), [&](const Text& x) { return x.text == t; });
    }
    // Lines of a colour that start below top: the plot's, not the legend's.
    std::vector<Line> lines_of(std::uint32_t colour, int top = 0) const {
        std::vector<Line> out;
        for (const Line& l : lines) {
            if (l.colour == colour && l.y1 >= top) out.push_back(l);
        }
        return out;
    }
    std::vector<Rect> fills_of(std::uint32_t colour) const {
        std::vector<Rect> out;
        for (const auto& [r, c] : fills) {
            if (c == colour) out.push_back(r);
        }
        return out;
    }
    std::vector<Text> texts;
    std::vector<Line> lines;
    std::vector<std::pair<Rect, std::uint32_t>> fills;
};

std::vector<std::string> labels_of(const std::vector<DateTick>& ticks) {
    std::vector<std::string> out;
    for (const DateTick& t : ticks) out.push_back(t.label);
    return out;
}

// A fill-up on a day of 2024: distance and fuel in the stored units, its own economy stored with it.
std::string fill_up(int record_id, int month, int day, int start, int end, int millilitres, int cost) {
    ChunkHeader h = test::record_header(kRecordFuel, 1, record_id, day);
    h.month = static_cast<std::uint8_t>(month);
    h.a = start;
    h.b = end;
    h.c = millilitres;
    h.d = cost;
    h.e = static_cast<std::int32_t>(fuel_economy(start, end, millilitres));
    return encode_chunk(h, {});
}

class Charts : public test::VehicleUiTest {
protected:
    void SetUp() override {
        VehicleUiTest::SetUp();
        os.us_measurement = false;
        set_print_service(&printer);
    }
    void TearDown() override {
        set_print_service(nullptr);
        VehicleUiTest::TearDown();
    }
    HeadlessPrintService printer;
};

TEST(ChartAxes, TicksAreRoundStepsCoveringTheRange) {
    const ValueTicks a = value_ticks(7.2, 9.9, 5);
    EXPECT_EQ(a.step, 1);
    EXPECT_EQ(a.values, (std::vector<double>{7, 8, 9, 10}));
    const ValueTicks b = value_ticks(0, 1234, 5);
    EXPECT_EQ(b.step, 500);
    EXPECT_EQ(b.values, (std::vector<double>{0, 500, 1000, 1500}));
    EXPECT_EQ(value_label(1500, b.decimals), "1,500");
    const ValueTicks c = value_ticks(28.26, 29.4, 6);
    EXPECT_DOUBLE_EQ(c.step, 0.2);
    EXPECT_EQ(c.decimals, 1);
    EXPECT_EQ(value_label(c.values.front(), c.decimals), "28.2");
    EXPECT_EQ(value_label(c.values.back(), c.decimals), "29.4");
    // A single value still spans an axis, and no label reads "-0".
    const ValueTicks d = value_ticks(12.8, 12.8, 5);
    EXPECT_LT(d.low, 12.8);
    EXPECT_GT(d.high, 12.8);
    EXPECT_EQ(value_label(-0.0001, 2), "0.00");
    EXPECT_EQ(value_label(-1234.5, 1), "-1,234.5");
}

TEST(ChartAxes, TheTimeAxisTakesTheFinestStepThatFitsInTheUsersDateOrder) {
    HeadlessPlatform os;
    set_platform(&os);
    const int mar5 = day_number(2024, 3, 5);
    EXPECT_EQ(labels_of(date_ticks(mar5, mar5 + 2, 8, DateOrder::MonthDayYear)),
              (std::vector<std::string>{"Mar 5", "Mar 6", "Mar 7"}));
    EXPECT_EQ(labels_of(date_ticks(mar5, mar5 + 2, 8, DateOrder::DayMonthYear)),
              (std::vector<std::string>{"5 Mar", "6 Mar", "7 Mar"}));
    EXPECT_EQ(labels_of(date_ticks(mar5, mar5 + 20, 4, DateOrder::MonthDayYear)),
              (std::vector<std::string>{"Mar 5", "Mar 12", "Mar 19"}));
    // A year: quarters, on the first days of their months.
    const std::vector<DateTick> year = date_ticks(day_number(2024, 1, 10), day_number(2024, 12, 20), 5, DateOrder::YearMonthDay);
    EXPECT_EQ(labels_of(year), (std::vector<std::string>{"2024 Apr", "2024 Jul", "2024 Oct"}));
    EXPECT_EQ(year[0].day, day_number(2024, 4, 1));
    EXPECT_EQ(labels_of(date_ticks(day_number(2015, 6, 1), day_number(2024, 6, 1), 5, DateOrder::DayMonthYear)),
              (std::vector<std::string>{"2016", "2018", "2020", "2022", "2024"}));
    // Leap days count.
    int y = 0, m = 0, d = 0;
    civil_date(day_number(2024, 2, 28) + 1, y, m, d);
    EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({2024, 2, 29}));
    EXPECT_EQ(day_number(1970, 1, 1), 0);
    set_platform(nullptr);
}

TEST_F(Charts, EconomyIsDrawnPerFillUpWithTheOverallAverageAcross) {
    settings().fuel_economy_unit = kEconomyLitresPer100Km;
    // 500 km on 50 litres, then a 50 km top-up on 2.5 litres, then 400 km on 32 litres.
    load(test::vehicle_chunk(1, "Honda") + fill_up(2, 3, 1, 0, 50000, 50000, 80000) + fill_up(3, 3, 9, 50000, 55000, 2500, 4000) +
         fill_up(4, 4, 2, 55000, 95000, 32000, 52000) + test::service_chunk(1, 5, 20, 95000, 120000, "Tyres"));
    const VehicleCharts charts = vehicle_charts(store(), 1);
    EXPECT_EQ(charts.fill_ups, 3);
    // 950 km on 84.5 litres: 8.89 L/100 km, not the mean of 10, 5 and 8.
    EXPECT_EQ(charts.average_economy, fuel_economy(0, 95000, 84500));
    EXPECT_EQ(charts.economy.average_label, "Average 8.89 L/100 km");
    ASSERT_EQ(charts.economy.points.size(), 3u);
    EXPECT_DOUBLE_EQ(charts.economy.points[1].value, 5.0);
    EXPECT_TRUE(charts.economy.note.empty());

    RecordingCanvas canvas;
    const ChartFrame frame = draw_line_chart(canvas, Rect{0, 0, 800, 400}, charts.economy, DateOrder::MonthDayYear);
    EXPECT_TRUE(canvas.has("Fuel Economy per Fill-up"));
    EXPECT_TRUE(canvas.has("L/100 km"));
    EXPECT_TRUE(canvas.has("Each fill-up"));
    EXPECT_TRUE(canvas.has("Average 8.89 L/100 km"));
    for (double v : frame.ticks.values) EXPECT_TRUE(canvas.has(value_label(v, frame.ticks.decimals))) << v;
    EXPECT_TRUE(canvas.has("Mar 1") && canvas.has("Mar 8")) << "a month of fill-ups is marked week by week";
    // The line joins the three fill-ups in date order; the 5 L/100 km top-up is lowest on the page's y.
    const std::vector<RecordingCanvas::Line> joins = canvas.lines_of(kChartLine, frame.plot.top);
    ASSERT_GE(joins.size(), 2u);
    EXPECT_LT(joins[0].x1, joins[0].x2);
    EXPECT_GT(joins[0].y2, joins[0].y1) << "10 down to 5 L/100 km";
    EXPECT_EQ(canvas.fills_of(kChartLine).size(), 3u) << "a mark for each fill-up";
    // The average is dashed across at its own height, inside the plot.
    const std::vector<RecordingCanvas::Line> average = canvas.lines_of(kChartAverage, frame.plot.top);
    ASSERT_GT(average.size(), 2u);
    const int average_y = average[1].y1;
    EXPECT_GT(average_y, frame.plot.top);
    EXPECT_LT(average_y, frame.plot.bottom);
    EXPECT_GT(average_y, joins[0].y1) << "8.89 is below 10";
    EXPECT_LT(average_y, joins[0].y2) << "and above 5";
}

TEST_F(Charts, NoFillUpAndOneFillUpSaySoAndDrawNoLine) {
    load(test::vehicle_chunk(1, "Honda"));
    VehicleCharts charts = vehicle_charts(store(), 1);
    EXPECT_EQ(charts.economy.note, "No fill-ups recorded yet");
    EXPECT_EQ(charts.costs.note, "No costs recorded yet");
    RecordingCanvas empty;
    draw_vehicle_charts(empty, Rect{0, 0, 800, 900}, charts, DateOrder::MonthDayYear);
    EXPECT_TRUE(empty.has("No fill-ups recorded yet"));
    EXPECT_TRUE(empty.has("No costs recorded yet"));
    EXPECT_TRUE(empty.lines_of(kChartLine).empty());
    EXPECT_TRUE(empty.lines_of(kChartAverage).empty());
    EXPECT_FALSE(empty.has("Each fill-up")) << "no legend for what is not there";

    load(test::vehicle_chunk(1, "Honda") + fill_up(2, 3, 7, 0, 50000, 50000, 80000));
    charts = vehicle_charts(store(), 1);
    EXPECT_EQ(charts.economy.note, "Only one fill-up so far: the next one starts the line");
    RecordingCanvas one;
    const ChartFrame frame = draw_line_chart(one, Rect{0, 0, 800, 400}, charts.economy, DateOrder::MonthDayYear);
    EXPECT_TRUE(one.lines_of(kChartLine, frame.plot.top).empty());
    const std::vector<Rect> marks = one.fills_of(kChartLine);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_GT(marks[0].left, frame.plot.left);
    EXPECT_LT(marks[0].right, frame.plot.right) << "a single day still lies inside the axis";
    EXPECT_TRUE(one.has("Only one fill-up so far: the next one starts the line"));
    EXPECT_TRUE(one.has("Average 10.0 km/l"));
}

TEST_F(Charts, CostsAreStackedPerMonthWithTheEmptyMonthsBetween) {
    // January and March 2024 (February has nothing) and a job in March.
    ChunkHeader january = test::record_header(kRecordFuel, 1, 2, 15);
    january.month = 1;
    january.a = 0, january.b = 50000, january.c = 40000, january.d = 60000, january.e = 125000;
    load(test::vehicle_chunk(1, "Honda") + encode_chunk(january, {}) + fill_up(3, 3, 7, 50000, 90000, 32000, 50500) +
         test::service_chunk(1, 4, 20, 95000, 120000, "Tyres") + test::service_chunk(2, 5, 20, 95000, 999000, "Another car's"));
    const VehicleCharts charts = vehicle_charts(store(), 1);
    EXPECT_EQ(charts.costs.names, (std::vector<std::string>{"Jan", "Feb", "Mar"}));
    EXPECT_EQ(charts.costs.groups, (std::vector<std::string>{"2024", "2024", "2024"}));
    EXPECT_EQ(charts.costs.lower, (std::vector<double>{60, 0, 50.5}));
    EXPECT_EQ(charts.costs.upper, (std::vector<double>{0, 0, 120}));

    RecordingCanvas canvas;
    const ChartFrame frame = draw_bar_chart(canvas, Rect{0, 0, 600, 300}, charts.costs);
    EXPECT_EQ(frame.ticks.low, 0);
    EXPECT_GE(frame.ticks.high, 170.5);
    EXPECT_TRUE(canvas.has("$0"));
    EXPECT_TRUE(canvas.has("Fuel"));
    EXPECT_TRUE(canvas.has("Maintenance"));
    EXPECT_TRUE(canvas.has("2024")) << "the year under the first month";
    const std::vector<Rect> fuel = canvas.fills_of(kChartLower);
    const std::vector<Rect> upkeep = canvas.fills_of(kChartUpper);
    // Two fuel bars after the legend's swatch, one maintenance bar after its own.
    ASSERT_EQ(fuel.size(), 3u);
    ASSERT_EQ(upkeep.size(), 2u);
    EXPECT_EQ(fuel[2].bottom, frame.plot.bottom);
    EXPECT_EQ(upkeep[1].bottom, fuel[2].top) << "maintenance stands on the month's fuel";
    EXPECT_EQ(upkeep[1].left, fuel[2].left);
}

TEST_F(Charts, ThePrintedPageHoldsBothChartsAsLinesAndTextOnOnePage) {
    load(test::vehicle_chunk(1, "Honda") + fill_up(2, 3, 1, 0, 50000, 50000, 80000) + fill_up(3, 3, 9, 50000, 100000, 45000, 70000));
    store().rebuild_vehicle_list();
    PrintSettings record = default_print_settings(kLayoutVehicleRecords);
    record.set_printer("Office Laser");
    ASSERT_TRUE(print_vehicle_charts(vehicle_manager(), record));
    EXPECT_EQ(printer.pages, 1);
    EXPECT_TRUE(printer.calls_of("image").empty()) << "drawn, not pasted in as a picture";
    const std::vector<HeadlessPrintService::Call> lines = printer.calls_of("line");
    EXPECT_FALSE(lines.empty());
    std::vector<std::string> texts;
    for (const auto& c : printer.texts()) texts.push_back(c.text);
    for (const char* wanted : {"2020 Honda Civic", "Fuel Economy per Fill-up", "Costs per Month", "Average 10.5 km/l", "Fuel",
                               "Maintenance", "km/l"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), wanted), texts.end()) << wanted;
    }
    // Everything lies inside the page's text region: half an inch in at 300 dpi.
    for (const auto& c : lines) {
        EXPECT_GE(std::min(c.rect.left, c.rect.right), 150);
        EXPECT_LE(std::max(c.rect.top, c.rect.bottom), 3150);
    }
    EXPECT_EQ(printer.live_fonts(), 0) << "the chart's fonts are let go with the job's";
}

TEST_F(Charts, TheChartsButtonOpensTheViewAndEscapeCloses) {
    load(test::vehicle_chunk(1, "Honda") + fill_up(2, 3, 1, 0, 50000, 50000, 80000));
    main_window().current_screen = kScreenVehicles;
    os.push_char('c');
    os.push_key(kKeyEscape);
    vehicle_screen();
    EXPECT_TRUE(drawn("2020 Honda Civic - Charts"));
    EXPECT_TRUE(drawn("Fuel Economy per Fill-up"));
    EXPECT_TRUE(drawn("Costs per Month"));
    EXPECT_FALSE(main_window().popup_open);
}

}  // namespace
}  // namespace domora
