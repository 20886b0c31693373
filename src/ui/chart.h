// Charts drawn by the toolkit: a line over time with an average, and stacked
// bars. The layout (axes, round ticks, legend, notes) is worked out here once
// and drawn onto a canvas, which is the screen's surface or a printed page,
// so that what is printed is what was shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace domora {

enum class ChartFont { Normal, Bold };

// What a chart draws with. Positions are pixels of the canvas.
class ChartCanvas {
public:
    virtual ~ChartCanvas() = default;
    virtual TextExtent measure(ChartFont font, const std::string& text) = 0;
    // Top-left corner at (x, y).
    virtual void text(int x, int y, ChartFont font, std::uint32_t colour, const std::string& text) = 0;
    // width in pixels; the canvas keeps it at least 1.
    virtual void line(int x1, int y1, int x2, int y2, int width, std::uint32_t colour) = 0;
    virtual void fill(const Rect& r, std::uint32_t colour) = 0;
    // The width of a thin line: 1 on the screen, more on a finer printer.
    virtual int thin() const = 0;
};

// The screen's canvas: the platform's surface and two of the toolkit's fonts.
class ScreenCanvas : public ChartCanvas {
public:
    ScreenCanvas(FontHandle normal, FontHandle bold) : m_normal(normal), m_bold(bold) {}
    TextExtent measure(ChartFont font, const std::string& text) override;
    void text(int x, int y, ChartFont font, std::uint32_t colour, const std::string& text) override;
    void line(int x1, int y1, int x2, int y2, int width, std::uint32_t colour) override;
    void fill(const Rect& r, std::uint32_t colour) override;
    int thin() const override { return 1; }

private:
    FontHandle font(ChartFont which) const { return which == ChartFont::Bold ? m_bold : m_normal; }
    FontHandle m_normal;
    FontHandle m_bold;
};

// ---- axes --------------------------------------------------------------------------------------------

// Round ticks over a value range: a step of 1, 2 or 5 times a power of ten,
// chosen so that at most `most` steps cover it; low and high are the
// outermost ticks, at or beyond the range's ends.
struct ValueTicks {
    double low = 0;
    double high = 1;
    double step = 1;
    int decimals = 0;  // what a label needs to tell the ticks apart
    std::vector<double> values;
};
ValueTicks value_ticks(double low, double high, int most);
// A tick's text: grouped thousands and the ticks' decimals, "1,500", "2.5".
std::string value_label(double value, int decimals);

// Calendar days counted from 1 January 1970, and back.
int day_number(int year, int month, int day);
void civil_date(int day_number, int& year, int& month, int& day);

// Ticks along a time axis: every day, week, month, quarter, half year or
// year, the finest that gives at most `most` ticks between first and last.
// Labels follow the user's date order ("Mar 7" or "7 Mar"; "Mar 2024";
// "2024"), with the locale's month names.
struct DateTick {
    int day = 0;
    std::string label;
};
std::vector<DateTick> date_ticks(int first_day, int last_day, int most, DateOrder order);

// ---- the charts ----------------------------------------------------------------------------------------

struct ChartPoint {
    int day = 0;
    double value = 0;
};

// Values over time, joined in date order, with an average drawn across.
struct LineChart {
    std::string title;
    std::string unit;           // over the value axis
    std::string series_label;   // the legend's name of the line
    std::vector<ChartPoint> points;
    bool has_average = false;
    double average = 0;
    std::string average_label;  // the legend's name of the average
    std::string note;           // drawn over the plot when not empty
};

// Columns of two stacked parts, one per category.
struct BarChart {
    std::string title;
    std::string prefix;             // before each value tick, "$"
    std::string lower_label;        // the legend's names of the parts
    std::string upper_label;
    std::vector<std::string> names;  // a category's label; "" draws none
    std::vector<std::string> groups; // a second line under a name, "" for none
    std::vector<double> lower;
    std::vector<double> upper;
    std::string note;
};

inline constexpr std::uint32_t kChartInk = rgb(0, 0, 0);
inline constexpr std::uint32_t kChartGrid = rgb(210, 210, 210);
inline constexpr std::uint32_t kChartLine = rgb(0, 0, 128);
inline constexpr std::uint32_t kChartAverage = rgb(200, 30, 30);
inline constexpr std::uint32_t kChartLower = rgb(70, 130, 180);
inline constexpr std::uint32_t kChartUpper = rgb(230, 150, 40);

// Where a chart put its plot, for those who look at it afterwards.
struct ChartFrame {
    Rect plot;
    ValueTicks ticks;
};

ChartFrame draw_line_chart(ChartCanvas& canvas, const Rect& area, const LineChart& chart, DateOrder order);
ChartFrame draw_bar_chart(ChartCanvas& canvas, const Rect& area, const BarChart& chart);

}  // namespace domora
