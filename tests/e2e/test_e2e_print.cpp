// Printing through the real window: Avery 5160 labels on a private CUPS PDF queue,
// looked at page by page with poppler's tools, and "Save as PDF" of addresses,
// of vehicle records with a photo, whose text can be read back, and of a
// vehicle's charts, which must come out as lines and text, not as a picture.
#include <cstdint>
#include <regex>
#include <set>

#include "e2e_support.h"
#include "../cups_server.h"
#include "../test_env.h"
#include "../vehicle_fixtures.h"
#include "vehicles/vehicle_store.h"

namespace domora::e2e {
namespace {

using namespace std::chrono_literals;

void put32(std::string& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Print settings as the settings file keeps them: letter paper, portrait,
// Arial, on the printer given; the rest as the layout needs it.
struct Layout {
    int left = 0, top = 0;           // the first card's corner, thousandths of an inch
    int font = 12;                   // points
    int card_wide = 8500, card_high = 11000;
    int across = 1, down = 1;
    int spacing = 0;                 // between cards across
    int margin = 0;                  // on every side of a card
};

std::string print_record(const std::string& printer, const Layout& l, int copies) {
    std::string r(400, '\0');
    put32(r, 0, 400);
    put32(r, 8, static_cast<std::uint32_t>(l.left));
    put32(r, 12, static_cast<std::uint32_t>(l.top));
    put32(r, 16, static_cast<std::uint32_t>(l.font));
    r[22] = 1;
    put32(r, 24, static_cast<std::uint32_t>(l.card_wide));
    put32(r, 28, static_cast<std::uint32_t>(l.card_high));
    put32(r, 32, static_cast<std::uint32_t>(l.across));
    put32(r, 36, static_cast<std::uint32_t>(l.down));
    r[42] = 1;
    put32(r, 44, static_cast<std::uint32_t>(l.spacing));
    put32(r, 52, 8500);
    put32(r, 56, 11000);
    for (std::size_t at = 60; at <= 72; at += 4) put32(r, at, static_cast<std::uint32_t>(l.margin));
    r[76] = static_cast<char>(copies);
    r.replace(100, printer.size(), printer);
    put32(r, 300, static_cast<std::uint32_t>(l.font));
    put32(r, 316, 400);
    r.replace(328, 5, "Arial");
    return r;
}

// Avery 5160: three across, ten down.
std::string label_record(const std::string& printer, int copies) {
    return print_record(printer, Layout{188, 500, 12, 2625, 1000, 3, 10, 125, 125}, copies);
}

std::string settings_entry(const std::string& name, const std::string& value) {
    std::string e(8, '\0');
    e[0] = '\x31';
    e[1] = '\xD4';
    e[2] = static_cast<char>(name.size());
    put32(e, 4, static_cast<std::uint32_t>(value.size()));
    return e + name + value;
}

std::string address_record(int id, bool selected, const std::vector<std::string>& values) {
    std::string body;
    for (std::size_t i = 0; i < 17; ++i) body += (i < values.size() ? values[i] : std::string()) + '\0';
    std::string out(18, '\0');
    put32(out, 0, static_cast<std::uint32_t>(18 + body.size()));
    out.replace(4, 4, "MSRI");
    put32(out, 8, static_cast<std::uint32_t>(id));
    out[12] = 1;
    out[13] = selected ? 1 : 0;
    return out + body;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
        ::pclose(pipe);
    }
    return out;
}

bool have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0; }

// A PDF's first page rendered by poppler as 8-bit grey pixels.
struct GrayPage {
    int width = 0, height = 0;
    std::string pixels;
    unsigned char at(int x, int y) const { return static_cast<unsigned char>(pixels[static_cast<std::size_t>(y) * width + x]); }
};

// False when pdftoppm failed or wrote something other than a whole P5 image.
bool render_page(const fs::path& pdf, int dpi, const fs::path& scratch, GrayPage& page) {
    const std::string command = "pdftoppm -r " + std::to_string(dpi) + " -gray -singlefile '" + pdf.string() + "' '" +
                                scratch.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    const std::string pgm = read(scratch.string() + ".pgm");
    std::istringstream header(pgm);
    std::string magic;
    int maxval = 0;
    header >> magic >> page.width >> page.height >> maxval;
    if (magic != "P5" || !header) return false;
    const std::size_t data = static_cast<std::size_t>(header.tellg()) + 1;
    if (pgm.size() != data + static_cast<std::size_t>(page.width) * page.height) return false;
    page.pixels = pgm.substr(data);
    return true;
}

class Printing : public RealWindow {
protected:
    fs::path dump() const { return m_root / "dump.txt"; }

    void SetUp() override {
        RealWindow::SetUp();
        m_env.push_back("DOMORA_WIDGET_DUMP=" + dump().string());
        // Ann, Bob and Cy will be selected; Dee is not and must not print.
        std::string file;
        int id = 1;
        for (const auto& [first, last, sel] : {std::tuple{"Ann", "Adams", true}, std::tuple{"Bob", "Baker", true},
                                               std::tuple{"Cy", "Cole", true}, std::tuple{"Dee", "Dunn", false}}) {
            file += address_record(id++, sel, {first, last, "", "1 Main St", "", "Springfield", "IL", "62701"});
        }
        std::ofstream(m_root / "app" / "address10.dat", std::ios::binary) << file;
    }
    void write_settings(const std::string& entries) {
        std::ofstream(m_root / "app" / "setup313.dat", std::ios::binary) << entries;
    }
    bool wait_for_dump(const std::string& text, std::chrono::seconds limit) {
        return wait_for_condition([&] { return read(dump()).find(text) != std::string::npos; }, limit);
    }
    // Print, the fourth layout (Avery 5160), and OK on the settings screen.
    void print_labels() {
        ASSERT_FALSE(wait_for_screen(dump(), 3, 60s).empty()) << read(dump());
        // The screen opens with the first address alone selected; Shift+Down takes in the next two.
        const auto before = written_at(dump());
        ASSERT_EQ(xdotool_keys(m_first, "key --delay 150 shift+Down shift+Down"), 0);
        wait_for_redraw(dump(), before);
        ASSERT_EQ(xdotool_keys(m_first, "type p"), 0);
        ASSERT_TRUE(wait_for_dump("Print Selected Addresses", 30s)) << read(dump());
        ASSERT_EQ(xdotool_keys(m_first, "key --delay 200 Down Down Down Return"), 0);
        ASSERT_TRUE(wait_for_dump("Print Settings - Labels - Avery 5160", 30s)) << read(dump());
        ASSERT_EQ(xdotool_keys(m_first, "type o"), 0);
    }
    // Clicks the middle of a widget of the screen the dump shows.
    void click_widget(int widget) {
        int screen = 0;
        const std::vector<DumpedWidget> table = parse_dump(read(dump()), screen);
        const DumpedWidget* w = find_widget(table, widget);
        ASSERT_NE(w, nullptr) << widget << "\n" << read(dump());
        ASSERT_EQ(xdotool_on(m_first, "windowraise {} mousemove --window {} " + std::to_string((w->x1 + w->x2) / 2) + " " +
                                          std::to_string((w->y1 + w->y2) / 2) + " click 1"),
                  0);
    }
    bool wait_for_dump_widget(int widget, std::chrono::seconds limit) {
        return wait_for_condition(
            [&] {
                int screen = 0;
                return find_widget(parse_dump(read(dump()), screen), widget) != nullptr;
            },
            limit);
    }
    // The file browser of "Save as PDF" offers "Domora.pdf" in the export
    // folder; OK takes it, and the program is closed once it is written.
    void save_one_page_pdf(const fs::path& pdf) {
        ASSERT_TRUE(wait_for_dump_widget(750, 30s)) << read(dump());
        click_widget(750);
        ASSERT_TRUE(wait_for_log("End Document:  1", 60s)) << read(m_root / "app" / "status.log");
        quit();
        ASSERT_TRUE(fs::exists(pdf));
        const std::string info = run("pdfinfo '" + pdf.string() + "'");
        EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
    }
    void quit() {
        ::kill(m_first, SIGTERM);
        EXPECT_EQ(wait_for_exit(m_first, 60s), 0);
        m_first = -1;
    }
};

// The file the private queue wrote, once it is complete.
bool wait_for_pdf(const fs::path& pdf, std::chrono::seconds limit) {
    return wait_for_condition([&] { return read(pdf).find("%%EOF") != std::string::npos; }, limit, 200ms);
}

TEST_F(Printing, Avery5160LabelsOnTheCupsPdfQueue) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(have("pdftoppm") && have("pdfinfo"), "needs poppler-utils (scripts/bootstrap-test.sh)");
    test::PrivateCups cups;
    const bool started = cups.start(m_root / "cups");
    DOMORA_NEEDS(started, cups.why_not());
    set_env("CUPS_SERVER", cups.server());

    write_settings(settings_entry("label_5160", label_record("PDF", 2)));
    m_first = start({"address"});
    print_labels();
    const fs::path pdf = cups.printed_pdf();
    ASSERT_TRUE(wait_for_pdf(pdf, 120s)) << "the PDF queue wrote nothing to " << cups.printed_pdf() << "\n"
                              << read(m_root / "app" / "status.log") << "\n" << read(cups.error_log());
    quit();

    const std::string info = run("pdfinfo '" + pdf.string() + "'");
    EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +1\n"))) << info;
    EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << "letter size\n" << info;

    // At 40 dpi a label is 105 x 40 pixels; look inside each cell for ink.
    GrayPage page;
    ASSERT_TRUE(render_page(pdf, 40, m_root / "page", page));
    for (int cell = 0; cell < 30; ++cell) {
        const int column = cell % 3, row = cell / 3;
        const double left = (188 + column * 2750) * 0.04, top = (500 + row * 1000) * 0.04;
        int ink = 0;
        for (int y = static_cast<int>(top) + 2; y < static_cast<int>(top + 40) - 2; ++y) {
            for (int x = static_cast<int>(left) + 2; x < static_cast<int>(left + 105) - 2; ++x) {
                ink += page.at(x, y) < 128 ? 1 : 0;
            }
        }
        if (cell < 6) {
            EXPECT_GT(ink, 20) << "label " << cell + 1 << " should be printed";
        } else {
            EXPECT_EQ(ink, 0) << "label " << cell + 1 << " should be blank";
        }
    }
}

TEST_F(Printing, SaveAsPdfWritesTheNamesInTheOrderOfTheView) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(have("pdftotext"), "needs poppler-utils (scripts/bootstrap-test.sh)");
    fs::create_directories(m_root / "out");
    write_settings(settings_entry("export_path", (m_root / "out").string() + "/") +
                   settings_entry("label_5160", label_record("Save as PDF", 1)));
    m_first = start({"address"});
    print_labels();
    // The file browser offers "Domora.pdf" in the export folder; OK takes it.
    const DumpedWidget* ok = nullptr;
    std::vector<DumpedWidget> table;
    wait_for_condition(
        [&] {
            int screen = 0;
            const std::string text = read(dump());
            table = parse_dump(text, screen);
            ok = text.find("Save as PDF") != std::string::npos ? find_widget(table, 750) : nullptr;
            return ok != nullptr;
        },
        30s);
    ASSERT_NE(ok, nullptr) << read(dump());
    ASSERT_EQ(xdotool_on(m_first, "mousemove --window {} " + std::to_string((ok->x1 + ok->x2) / 2) + " " +
                                      std::to_string((ok->y1 + ok->y2) / 2) + " click 1"),
              0);
    const fs::path pdf = m_root / "out" / "Domora.pdf";
    ASSERT_TRUE(wait_for_log("End Document:  1", 60s)) << read(m_root / "app" / "status.log");
    quit();
    ASSERT_TRUE(fs::exists(pdf));
    const std::string info = run("pdfinfo '" + pdf.string() + "'");
    EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << info;
    const std::string text = run("pdftotext -layout '" + pdf.string() + "' -");
    const std::size_t ann = text.find("Ann Adams"), bob = text.find("Bob Baker"), cy = text.find("Cy Cole");
    ASSERT_NE(ann, std::string::npos) << text;
    ASSERT_NE(bob, std::string::npos) << text;
    ASSERT_NE(cy, std::string::npos) << text;
    EXPECT_LT(ann, bob);
    EXPECT_LT(bob, cy);
    EXPECT_EQ(text.find("Dee Dunn"), std::string::npos) << "not selected";
    EXPECT_NE(text.find("Springfield, IL 62701"), std::string::npos) << text;
}

// The Vehicle Records print settings: the whole page, half-inch margins, 14 points.
std::string vehicle_print_record() { return print_record("Save as PDF", Layout{0, 0, 14, 8500, 11000, 1, 1, 0, 500}, 1); }

// A dark grey 40 x 30 bitmap file: the photo whose ink the page must show.
std::string dark_photo() {
    const int width = 40, height = 30, stride = 120;
    std::string s = "BM";
    s.resize(54, '\0');
    put32(s, 2, static_cast<std::uint32_t>(54 + stride * height));
    put32(s, 10, 54);
    put32(s, 14, 40);
    put32(s, 18, width);
    put32(s, 22, height);
    s[26] = 1;
    s[28] = 24;
    s.append(static_cast<std::size_t>(stride * height), '\x20');
    return s;
}

TEST_F(Printing, VehicleRecordsWithAPhotoSavedAsPdf) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(have("pdftotext") && have("pdftoppm"), "needs poppler-utils (scripts/bootstrap-test.sh)");
    fs::create_directories(m_root / "out");
    m_env.push_back("LC_ALL=en_US.UTF-8");
    ChunkHeader car;
    car.type = kRecordVehicle;
    car.vehicle_id = 1;
    car.record_id = 1;
    car.year = 2019;
    car.month = 5;
    car.day = 1;
    const std::string photo = dark_photo();
    car.f = static_cast<std::int32_t>(photo.size());
    // An oil change at 12,345 mi on 7 March 2024, and a fill-up on the 9th.
    std::ofstream(m_root / "app" / "vehicle11.dat", std::ios::binary)
        << encode_chunk(car, vehicle_body("Subaru", "Outback", "4S4BSANC5K3", "KX 4411", photo))
        << test::service_chunk(1, 2, 7, 1986735, 45500, "Oil and filter change") << test::fuel_chunk(1, 3, 9);
    std::string id(4, '\0');
    put32(id, 0, 1);
    write_settings(settings_entry("export_path", (m_root / "out").string() + "/") + settings_entry("vehicle_id", id) +
                   settings_entry("vehicle_records", vehicle_print_record()));

    m_first = start({"vehicle"});
    ASSERT_FALSE(wait_for_screen(dump(), 6, 60s).empty()) << read(dump());
    ASSERT_TRUE(wait_for_dump("2019 Subaru Outback", 30s)) << read(dump());
    // The header's box selects both records; then Print and OK on the settings screen.
    // A click that lands while the window is still being mapped is lost:
    // the box is clicked again when Print found nothing selected, Print again
    // when nothing happened at all.
    bool reselect = true, settings = false;
    for (int attempt = 0; attempt < 3 && !settings; ++attempt) {
        if (reselect) {
            const auto before = written_at(dump());
            click_widget(611);
            wait_for_redraw(dump(), before);
        }
        click_widget(610);
        settings = wait_for_dump("Print Settings - Vehicle Records", 15s);
        reselect = !settings && read(dump()).find("No records have been selected") != std::string::npos;
        if (reselect) {
            ASSERT_EQ(xdotool_keys(m_first, "key Return"), 0);
            ASSERT_TRUE(wait_for_condition([&] { return read(dump()).find("No records have been selected") == std::string::npos; }, 10s));
        }
    }
    ASSERT_TRUE(settings) << read(dump());
    ASSERT_EQ(xdotool_keys(m_first, "type o"), 0);
    const fs::path pdf = m_root / "out" / "Domora.pdf";
    ASSERT_NO_FATAL_FAILURE(save_one_page_pdf(pdf));
    const std::string text = run("pdftotext -layout '" + pdf.string() + "' -");
    for (const char* wanted : {"2019 Subaru Outback", "VIN: 4S4BSANC5K3", "License: KX 4411", "Date", "Odometer", "Cost",
                               "Record", "12,345 mi", "45.50", "Oil and filter change", "Gas:", "30.0 mpg", "Page 1"}) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted << "\n" << text;
    }
    EXPECT_LT(text.find("Oil and filter change"), text.find("30.0 mpg")) << "file order";

    // At 72 dpi the photo frame is 108 points high and 144 wide, at the
    // half-inch margin's corner; it is dark all over, the page right of the
    // heading column is not.
    GrayPage page;
    ASSERT_TRUE(render_page(pdf, 72, m_root / "page", page));
    const auto dark_share = [&](int left, int top, int right, int bottom) {
        int dark = 0, all = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                dark += page.at(x, y) < 96 ? 1 : 0;
                ++all;
            }
        }
        return static_cast<double>(dark) / all;
    };
    EXPECT_GT(dark_share(40, 40, 176, 140), 0.95) << "the photo";
    EXPECT_LT(dark_share(400, 40, 570, 140), 0.2) << "beside the heading";
}

TEST_F(Printing, VehicleChartsSavedAsPdfAreLinesAndText) {
    DOMORA_NEEDS(can_drive_window(), "needs an X display and xdotool");
    DOMORA_NEEDS(have("pdftotext") && have("pdfimages") && have("pdfinfo"), "needs poppler-utils (scripts/bootstrap-test.sh)");
    fs::create_directories(m_root / "out");
    m_env.push_back("LC_ALL=en_US.UTF-8");
    // Four fill-ups of March and April 2024 and an oil change.
    std::string file = test::vehicle_chunk(1, "Subaru", "", "Outback") + test::service_chunk(1, 2, 7, 1986735, 45500, "Oil change");
    int odometer = 1986735;
    for (int i = 0; i < 4; ++i) {
        ChunkHeader h = test::record_header(kRecordFuel, 1, 3 + i, 1 + 9 * i);
        h.month = static_cast<std::uint8_t>(3 + i / 3);
        h.a = odometer;
        h.b = odometer + 40000 + 5000 * i;
        h.c = 37854 - 1500 * i;
        h.d = 35000;
        h.e = static_cast<std::int32_t>(100000LL * (h.b - h.a) / h.c);
        odometer = h.b;
        file += encode_chunk(h, {});
    }
    std::ofstream(m_root / "app" / "vehicle11.dat", std::ios::binary) << file;
    std::string id(4, '\0');
    put32(id, 0, 1);
    write_settings(settings_entry("export_path", (m_root / "out").string() + "/") + settings_entry("vehicle_id", id) +
                   settings_entry("vehicle_records", vehicle_print_record()));

    m_first = start({"vehicle"});
    ASSERT_FALSE(wait_for_screen(dump(), 6, 60s).empty()) << read(dump());
    ASSERT_TRUE(wait_for_dump("2020 Subaru Outback", 30s)) << read(dump());
    // Charts, then Print on the charts and OK on the settings screen. A
    // click that lands while the window is still being mapped is lost, so
    // each is made again until its screen shows.
    const auto until_shown = [&](int widget, const std::string& shows) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            click_widget(widget);
            if (wait_for_dump(shows, 10s)) return true;
        }
        return false;
    };
    ASSERT_TRUE(until_shown(616, "2020 Subaru Outback - Charts")) << read(dump());
    ASSERT_TRUE(until_shown(621, "Print Settings - Vehicle Charts")) << read(dump());
    ASSERT_EQ(xdotool_keys(m_first, "type o"), 0);
    const fs::path pdf = m_root / "out" / "Domora.pdf";
    ASSERT_NO_FATAL_FAILURE(save_one_page_pdf(pdf));
    const std::string text = run("pdftotext -layout '" + pdf.string() + "' -");
    for (const char* wanted : {"2020 Subaru Outback", "Fuel Economy per Fill-up", "Each fill-up", "Average", "mpg", "Costs per Month",
                               "Fuel", "Maintenance", "$0", "Mar 1", "Apr 5"}) {
        EXPECT_NE(text.find(wanted), std::string::npos) << wanted << "\n" << text;
    }
    // pdfimages lists its two heading lines and one more per picture: there is none.
    const std::string images = run("pdfimages -list '" + pdf.string() + "'");
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;
    EXPECT_LT(fs::file_size(pdf), 200000u) << "lines and text, not a page-sized picture";
}

}  // namespace
}  // namespace domora::e2e
