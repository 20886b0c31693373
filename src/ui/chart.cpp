#include "ui/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ui/widgets.h"

namespace domora {

namespace {

// ---- calendar --------------------------------------------------------------------------------

int floor_div(int a, int b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

// Months counted from January of year 0, and back.
int month_index(int year, int month) { return year * 12 + month - 1; }
void month_of_index(int index, int& year, int& month) {
    year = floor_div(index, 12);
    month = index - year * 12 + 1;
}

std::string day_label(int day, DateOrder order) {
    int y = 0, m = 0, d = 0;
    civil_date(day, y, m, d);
    const std::string month = platform().month_abbreviation(m);
    return order == DateOrder::DayMonthYear ? std::to_string(d) + " " + month : month + " " + std::to_string(d);
}

std::string month_label(int index, DateOrder order) {
    int y = 0, m = 0;
    month_of_index(index, y, m);
    const std::string month = platform().month_abbreviation(m);
    return order == DateOrder::YearMonthDay ? std::to_string(y) + " " + month : month + " " + std::to_string(y);
}

// ---- drawing helpers ---------------------------------------------------------------------------------

int text_width(ChartCanvas& canvas, ChartFont font, const std::string& text) { return canvas.measure(font, text).width; }

int line_height(ChartCanvas& canvas) { return std::max(1, canvas.measure(ChartFont::Normal, "Mg").height); }

// A dashed line across: dashes of six thin widths with gaps of four.
void dashed(ChartCanvas& canvas, int x1, int x2, int y, int width, std::uint32_t colour) {
    const int dash = 6 * canvas.thin(), gap = 4 * canvas.thin();
    for (int x = x1; x < x2; x += dash + gap) canvas.line(x, y, std::min(x + dash, x2), y, width, colour);
}

struct LegendItem {
    std::uint32_t colour;
    std::string label;
    enum { Line, Dashes, Swatch } look;
};

// The title at the area's top left, the legend at its top right; returns
// the y below them.
int draw_heading(ChartCanvas& canvas, const Rect& area, const std::string& title, const std::vector<LegendItem>& legend) {
    const int h = line_height(canvas);
    const int u = canvas.thin();
    canvas.text(area.left, area.top, ChartFont::Bold, kChartInk, title);
    int x = area.right;
    const int mark = 3 * h / 2;
    for (auto it = legend.rbegin(); it != legend.rend(); ++it) {
        if (it->label.empty()) continue;
        x -= text_width(canvas, ChartFont::Normal, it->label);
        canvas.text(x, area.top, ChartFont::Normal, kChartInk, it->label);
        x -= h / 3 + mark;
        const int mid = area.top + h / 2;
        switch (it->look) {
            case LegendItem::Line: canvas.line(x, mid, x + mark, mid, 2 * u, it->colour); break;
            case LegendItem::Dashes: dashed(canvas, x, x + mark, mid, 2 * u, it->colour); break;
            case LegendItem::Swatch: canvas.fill(Rect{x, area.top + h / 5, x + mark, area.top + h - h / 5}, it->colour); break;
        }
        x -= h;
    }
    return area.top + std::max(h, canvas.measure(ChartFont::Bold, title).height) + h / 2;
}

// The value axis: grid lines and their labels left of the plot, whose left
// edge it fixes. Returns the ticks.
ValueTicks draw_value_axis(ChartCanvas& canvas, Rect& plot, int area_left, double low, double high, const std::string& prefix) {
    const int h = line_height(canvas);
    const int u = canvas.thin();
    ValueTicks ticks = value_ticks(low, high, std::max(2, (plot.bottom - plot.top) / (2 * h)));
    int widest = 0;
    for (double v : ticks.values) widest = std::max(widest, text_width(canvas, ChartFont::Normal, prefix + value_label(v, ticks.decimals)));
    plot.left = area_left + widest + h / 2;
    const double span = ticks.high - ticks.low;
    for (double v : ticks.values) {
        const int y = plot.bottom - static_cast<int>(std::lround((v - ticks.low) / span * (plot.bottom - plot.top)));
        canvas.line(plot.left, y, plot.right, y, u, kChartGrid);
        const std::string label = prefix + value_label(v, ticks.decimals);
        canvas.text(plot.left - h / 4 - text_width(canvas, ChartFont::Normal, label), y - h / 2, ChartFont::Normal, kChartInk, label);
    }
    return ticks;
}

int value_y(const ChartFrame& f, double value) {
    const double span = f.ticks.high - f.ticks.low;
    return f.plot.bottom - static_cast<int>(std::lround((value - f.ticks.low) / span * (f.plot.bottom - f.plot.top)));
}

void draw_axes(ChartCanvas& canvas, const Rect& plot) {
    const int u = canvas.thin();
    canvas.line(plot.left, plot.top, plot.left, plot.bottom, u, kChartInk);
    canvas.line(plot.left, plot.bottom, plot.right, plot.bottom, u, kChartInk);
}

void draw_note(ChartCanvas& canvas, const Rect& plot, const std::string& note) {
    if (note.empty()) return;
    const int h = line_height(canvas);
    const int w = text_width(canvas, ChartFont::Normal, note);
    canvas.text(plot.left + (plot.right - plot.left - w) / 2, plot.top + (plot.bottom - plot.top - h) / 2, ChartFont::Normal,
                kChartInk, note);
}

}  // namespace

// ---- the screen's canvas ------------------------------------------------------------------------------------

TextExtent ScreenCanvas::measure(ChartFont which, const std::string& text) { return MeasureText(font(which), text); }

void ScreenCanvas::text(int x, int y, ChartFont which, std::uint32_t colour, const std::string& text) {
    DrawTextAt(x, y, 0, colour, font(which), text);
}

void ScreenCanvas::line(int x1, int y1, int x2, int y2, int width, std::uint32_t colour) {
    // The surface draws one pixel wide; a wider line is that many side by side.
    const bool flat = std::abs(x2 - x1) >= std::abs(y2 - y1);
    const int n = std::max(1, width);
    for (int k = 0; k < n; ++k) {
        const int off = k - (n - 1) / 2;
        if (flat) {
            platform().draw_line(x1, y1 + off, x2, y2 + off, colour);
        } else {
            platform().draw_line(x1 + off, y1, x2 + off, y2, colour);
        }
    }
}

void ScreenCanvas::fill(const Rect& r, std::uint32_t colour) { FillBox(r, colour); }

// ---- axes ----------------------------------------------------------------------------------------------------

ValueTicks value_ticks(double low, double high, int most) {
    if (high < low) std::swap(low, high);
    if (!(high > low)) {
        const double pad = low == 0 ? 1 : std::abs(low) * 0.1;
        low -= pad;
        high += pad;
    }
    most = std::max(1, most);
    const double raw = (high - low) / most;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    ValueTicks t;
    for (double m : {1.0, 2.0, 5.0, 10.0, 20.0}) {
        t.step = m * magnitude;
        if (std::ceil(high / t.step - 1e-9) - std::floor(low / t.step + 1e-9) <= most) break;
    }
    const double first = std::floor(low / t.step + 1e-9);
    const double last = std::ceil(high / t.step - 1e-9);
    t.low = first * t.step;
    t.high = last * t.step;
    t.decimals = std::max(0, static_cast<int>(-std::floor(std::log10(t.step) + 1e-9)));
    for (double k = first; k <= last + 0.5; k += 1) t.values.push_back(k * t.step);
    return t;
}

std::string value_label(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);  // no "-0"
    // Thousands separators are put in by copying forward into a second string,
    // which keeps GCC's optimiser from misjudging an insert as an overlapping copy.
    const std::size_t start = s[0] == '-' ? 1 : 0;
    std::size_t end = s.find('.');
    if (end == std::string::npos) end = s.size();
    std::string grouped = s.substr(0, start);
    for (std::size_t i = start; i < end; ++i) {
        if (i > start && (end - i) % 3 == 0) grouped += ',';
        grouped += s[i];
    }
    grouped.append(s, end, std::string::npos);
    return grouped;
}

int day_number(int year, int month, int day) {
    // Counted through March-based years, so that a leap day ends its year.
    year -= month <= 2 ? 1 : 0;
    const int era = floor_div(year, 400);
    const int year_of_era = year - era * 400;
    const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_date(int days, int& year, int& month, int& day) {
    days += 719468;
    const int era = floor_div(days, 146097);
    const int day_of_era = days - era * 146097;
    const int year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int mp = (5 * day_of_year + 2) / 153;
    day = day_of_year - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
}

std::vector<DateTick> date_ticks(int first_day, int last_day, int most, DateOrder order) {
    if (last_day < first_day) std::swap(first_day, last_day);
    most = std::max(1, most);
    std::vector<DateTick> ticks;
    // Every day, then every week.
    for (int step : {1, 7}) {
        if ((last_day - first_day) / step + 1 > most) continue;
        for (int d = first_day; d <= last_day; d += step) ticks.push_back(DateTick{d, day_label(d, order)});
        return ticks;
    }
    // Then the first days of months, every 1, 3 or 6 months, then of years.
    int y = 0, m = 0, d = 0;
    civil_date(first_day, y, m, d);
    const int first_month = month_index(y, m) + (d > 1 ? 1 : 0);
    civil_date(last_day, y, m, d);
    const int last_month = month_index(y, m);
    for (int step : {1, 3, 6, 12, 24, 60, 120, 240, 600, 1200}) {
        const int start = (first_month + step - 1) / step * step;  // month indices are never negative here
        if (start > last_month && step < 1200) {
            // No such boundary inside the range: a coarser step has none either.
            break;
        }
        if ((last_month - start) / step + 1 > most && step < 1200) continue;
        for (int i = start; i <= last_month; i += step) {
            int ty = 0, tm = 0;
            month_of_index(i, ty, tm);
            ticks.push_back(DateTick{day_number(ty, tm, 1), step >= 12 ? std::to_string(ty) : month_label(i, order)});
        }
        return ticks;
    }
    // A range inside one month with more days than fit: its first day alone.
    ticks.push_back(DateTick{first_day, day_label(first_day, order)});
    return ticks;
}

// ---- the charts ------------------------------------------------------------------------------------------------

ChartFrame draw_line_chart(ChartCanvas& canvas, const Rect& area, const LineChart& chart, DateOrder order) {
    const int h = line_height(canvas);
    const int u = canvas.thin();
    std::vector<LegendItem> legend = {{kChartLine, chart.points.empty() ? "" : chart.series_label, LegendItem::Line}};
    if (chart.has_average) legend.push_back({kChartAverage, chart.average_label, LegendItem::Dashes});
    int top = draw_heading(canvas, area, chart.title, legend);
    canvas.text(area.left, top, ChartFont::Normal, kChartInk, chart.unit);
    // The top tick's label is centred on the plot's top edge: room for its upper half.
    top += 2 * h;

    ChartFrame frame;
    frame.plot = Rect{area.left, top, area.right - h / 2, area.bottom - h - h / 2};
    double low = 0, high = 0;
    bool any = false;
    for (const ChartPoint& p : chart.points) {
        low = any ? std::min(low, p.value) : p.value;
        high = any ? std::max(high, p.value) : p.value;
        any = true;
    }
    if (chart.has_average) {
        low = any ? std::min(low, chart.average) : chart.average;
        high = any ? std::max(high, chart.average) : chart.average;
        any = true;
    }
    if (!any) high = 1;
    frame.ticks = draw_value_axis(canvas, frame.plot, area.left, low, high, "");
    const Rect& plot = frame.plot;

    std::vector<ChartPoint> points = chart.points;
    std::stable_sort(points.begin(), points.end(), [](const ChartPoint& a, const ChartPoint& b) { return a.day < b.day; });
    if (!points.empty()) {
        int first = points.front().day, last = points.back().day;
        // A single day has no width: a month around it.
        if (first == last) {
            first -= 15;
            last += 15;
        }
        const auto x_of = [&](int day) {
            return plot.left + h / 2 +
                   static_cast<int>(std::lround(static_cast<double>(day - first) / (last - first) * (plot.right - plot.left - h)));
        };
        const int sample = text_width(canvas, ChartFont::Normal, month_label(month_index(2024, 9), order));
        const int most = std::max(1, (plot.right - plot.left) / (sample + h));
        for (const DateTick& tick : date_ticks(first, last, most, order)) {
            const int x = x_of(tick.day);
            canvas.line(x, plot.bottom, x, plot.bottom + h / 3, u, kChartInk);
            const int w = text_width(canvas, ChartFont::Normal, tick.label);
            const int left = std::clamp(x - w / 2, area.left, area.right - w);
            canvas.text(left, plot.bottom + h / 3, ChartFont::Normal, kChartInk, tick.label);
        }
        for (std::size_t i = 1; i < points.size(); ++i) {
            canvas.line(x_of(points[i - 1].day), value_y(frame, points[i - 1].value), x_of(points[i].day),
                        value_y(frame, points[i].value), 2 * u, kChartLine);
        }
        const int dot = 2 * u;
        for (const ChartPoint& p : points) {
            const int x = x_of(p.day), y = value_y(frame, p.value);
            canvas.fill(Rect{x - dot, y - dot, x + dot + 1, y + dot + 1}, kChartLine);
        }
    }
    if (chart.has_average) dashed(canvas, plot.left, plot.right, value_y(frame, chart.average), 2 * u, kChartAverage);
    draw_axes(canvas, plot);
    draw_note(canvas, plot, chart.note);
    return frame;
}

ChartFrame draw_bar_chart(ChartCanvas& canvas, const Rect& area, const BarChart& chart) {
    const int h = line_height(canvas);
    const std::size_t n = std::min({chart.names.size(), chart.lower.size(), chart.upper.size()});
    const std::vector<LegendItem> legend = {{kChartLower, n ? chart.lower_label : "", LegendItem::Swatch},
                                            {kChartUpper, n ? chart.upper_label : "", LegendItem::Swatch}};
    const int top = draw_heading(canvas, area, chart.title, legend) + h / 2;

    ChartFrame frame;
    frame.plot = Rect{area.left, top, area.right - h / 2, area.bottom - 2 * h - h / 2};
    double high = 0;
    for (std::size_t i = 0; i < n; ++i) high = std::max(high, std::max(0.0, chart.lower[i]) + std::max(0.0, chart.upper[i]));
    frame.ticks = draw_value_axis(canvas, frame.plot, area.left, 0, high > 0 ? high : 1, chart.prefix);
    const Rect& plot = frame.plot;

    if (n > 0) {
        const double slot = static_cast<double>(plot.right - plot.left) / static_cast<double>(n);
        const int bar = std::max(1, static_cast<int>(slot * 0.7));
        // Every k-th category is named, counted from the first that starts a
        // new group (a January), so that the names fall on the same months.
        int widest = 1;
        for (std::size_t i = 0; i < n; ++i) widest = std::max(widest, text_width(canvas, ChartFont::Normal, chart.names[i]));
        std::size_t k = 1;
        for (std::size_t step : {1, 2, 3, 4, 6, 12, 24, 60, 120}) {
            k = step;
            if (slot * static_cast<double>(step) >= widest + h / 2) break;
        }
        std::size_t anchor = 0;
        for (std::size_t i = 1; i < n && i < chart.groups.size(); ++i) {
            if (chart.groups[i] != chart.groups[i - 1]) {
                anchor = i % k;
                break;
            }
        }
        std::string shown_group;
        for (std::size_t i = 0; i < n; ++i) {
            const int centre = plot.left + static_cast<int>(std::lround(slot * (static_cast<double>(i) + 0.5)));
            const int left = centre - bar / 2;
            const double lower = std::max(0.0, chart.lower[i]);
            const double upper = std::max(0.0, chart.upper[i]);
            const int y_lower = value_y(frame, lower);
            const int y_upper = value_y(frame, lower + upper);
            if (y_lower < plot.bottom) canvas.fill(Rect{left, y_lower, left + bar, plot.bottom}, kChartLower);
            if (y_upper < y_lower) canvas.fill(Rect{left, y_upper, left + bar, y_lower}, kChartUpper);
            if (i % k != anchor % k || chart.names[i].empty()) continue;
            const int w = text_width(canvas, ChartFont::Normal, chart.names[i]);
            canvas.text(std::clamp(centre - w / 2, area.left, area.right - w), plot.bottom + h / 4, ChartFont::Normal, kChartInk,
                        chart.names[i]);
            const std::string group = i < chart.groups.size() ? chart.groups[i] : std::string();
            if (!group.empty() && group != shown_group) {
                const int gw = text_width(canvas, ChartFont::Normal, group);
                canvas.text(std::clamp(centre - gw / 2, area.left, area.right - gw), plot.bottom + h / 4 + h, ChartFont::Normal,
                            kChartInk, group);
                shown_group = group;
            }
        }
    }
    draw_axes(canvas, plot);
    draw_note(canvas, plot, chart.note);
    return frame;
}

}  // namespace domora
