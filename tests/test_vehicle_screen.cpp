// The Vehicles screen run against the headless window: what it shows, and
// what clicks and keys on its record list do.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "ui/popups.h"
#include "other_program.h"
#include "ui_fixture.h"
#include "vehicle_fixtures.h"
#include "vehicles/vehicle_list.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_screen.h"
#include "vehicles/vehicle_store.h"

namespace domora {
namespace {

std::string vehicle_chunk(int id, const std::string& make, const std::string& model) {
    return test::vehicle_chunk(id, make, "", model);
}

std::string service_chunk(int vehicle_id, int record_id, int day, int odometer, int cost) {
    return test::service_chunk(vehicle_id, record_id, day, odometer, cost, "Job " + std::to_string(record_id));
}

// 1,000 to 1,300 mi.
std::string fuel_chunk(int vehicle_id, int record_id, int day) {
    return test::fuel_chunk(vehicle_id, record_id, day, false, 160934, 209215);
}

class VehicleScreen : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        set_message_handler(nullptr);
        os.us_measurement = true;
        clear_field_buffer();
        popup_list() = PopupList{};
        vehicle_manager() = VehicleManager{};
        vehicle_manager().store.set_path(path("vehicle11.dat"));
        main_window().current_screen = kScreenVehicles;
    }
    void TearDown() override {
        vehicle_manager() = VehicleManager{};
        UiTest::TearDown();
    }

    // A vehicle with this many maintenance records on days 1, 2, ...
    void seed(int records) {
        settings().vehicle_id = 1;
        std::string file = vehicle_chunk(1, "Honda", "Civic");
        for (int i = 0; i < records; ++i) file += service_chunk(1, 10 + i, 1 + i, 100000 + i, 1000 * (i + 1));
        write(path("vehicle11.dat"), file);
    }
    // Runs the screen over what is queued; it ends when the script does.
    void run() {
        main_window().quit_requested = false;
        vehicle_screen();
        // Remember the screen as it was last drawn, for the next script.
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.id != 0 && !main_window().popup_open) layout[w.id] = w;
        }
    }
    std::vector<std::string> labels() const {
        std::vector<std::string> texts;
        for (const WidgetRecord& w : widgets()) {
            if (w.id == kEndMarker) break;
            if (w.kind == kKindLabel) texts.push_back(w.text);
        }
        return texts;
    }
    bool has_label(const std::string& text) const {
        const std::vector<std::string> all = labels();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    bool drawn(const std::string& text) const {
        return std::any_of(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& t) { return t.text == text; });
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : os.message_boxes) texts.push_back(box.text);
        return texts;
    }

    int row_y(int row) const { return layout.at(kVehicleListId).y1 + 23 * row + 11; }
    int text_x() const { return layout.at(kVehicleListId).x1 + 600; }
    int check_x() const {
        const WidgetRecord& list = layout.at(kVehicleListId);
        const RecordColumns c = record_columns(list.x1, list.x2);
        return (c.check_left + c.check_right) / 2;
    }
    void click(int x, int y, bool shift = false) {
        os.push_mouse_move(x, y);
        Event down;
        down.kind = EventKind::ButtonDown;
        down.x = x;
        down.y = y;
        down.button = 1;
        down.shift = shift;
        os.push_event(down);
        os.push_wait(10);
        Event up = down;
        up.kind = EventKind::ButtonUp;
        os.push_event(up);
        os.push_wait(60);
    }
    void click_widget(int id) {
        const WidgetRecord& w = layout.at(id);
        click((w.x1 + w.x2) / 2, (w.y1 + w.y2) / 2);
    }
    std::vector<int> selected() const {
        std::vector<int> rows;
        const VehicleStore& store = vehicle_manager().store;
        for (int i = 0; i < store.record_count(); ++i) {
            if (store.is_selected(i)) rows.push_back(i);
        }
        return rows;
    }
    int current() const { return vehicle_manager().store.record_position(); }

    std::map<int, WidgetRecord> layout;
};

// ---- what it shows ------------------------------------------------------------------------------------------

TEST_F(VehicleScreen, WithoutAVehicleTheScreenIsEmptyAndTheGuardedButtonsSaySo) {
    run();
    EXPECT_TRUE(has_label("No Photo"));
    EXPECT_TRUE(has_label("0 Records"));
    // How to begin, instead of an empty VIN and zero totals.
    const std::vector<std::string> all = labels();
    EXPECT_EQ(std::count(all.begin(), all.end(), "$ 0.00"), 0);
    EXPECT_FALSE(has_label("0.0 mpg"));
    EXPECT_FALSE(has_label("VIN:  "));
    EXPECT_TRUE(has_label("There is no vehicle yet."));
    EXPECT_TRUE(has_label("To add one, click Vehicle Manager (or press V)"));
    EXPECT_TRUE(has_label("")) << "an empty heading";
    for (const char* caption : {">Vehicle Manager", ">Select Vehicle", "Gas", "Maintenance", "Edit", "Delete", "Find",
                                ">Display: All Records", "Export", "Print"}) {
        EXPECT_TRUE(std::any_of(layout.begin(), layout.end(), [&](const auto& w) { return w.second.text == caption; }))
            << caption;
    }
    for (int id : {603, 604, 605, 606}) click_widget(id);
    run();
    EXPECT_EQ(messages(), std::vector<std::string>(4, "Add a Vehicle First"));
}

TEST_F(VehicleScreen, TheVehicleItsTotalsAndTheRowsAreShown) {
    settings().vehicle_id = 1;
    write(path("vehicle11.dat"), vehicle_chunk(1, "Honda", "Civic") + fuel_chunk(1, 5, 7) + service_chunk(1, 6, 8, 0, 45500));
    run();
    EXPECT_TRUE(has_label("2020 Honda Civic"));
    EXPECT_TRUE(has_label("JH4KA"));
    EXPECT_TRUE(has_label("ABC 123"));
    EXPECT_TRUE(has_label("$ 45.50"));
    EXPECT_TRUE(has_label("$ 35.00"));
    EXPECT_TRUE(has_label("30.0 mpg"));
    EXPECT_TRUE(has_label("2 Records"));

    // The fill-up row, not current: the label in dark red, the columns where they belong.
    const WidgetRecord& list = layout.at(kVehicleListId);
    const RecordColumns c = record_columns(list.x1, list.x2);
    const int p = std::max(10, static_cast<int>(std::lround(0.012 * (list.x2 - list.x1))));
    EXPECT_EQ(c.padding, p);
    EXPECT_EQ(c.date_end, list.x1 + 2 + 12 * 10 + p) << "\"Sep 30, 2022\" in the list font, then the padding";
    EXPECT_EQ(c.odometer_end, c.date_end + 12 * 10 + 2 * p);
    EXPECT_EQ(c.cost_end, c.odometer_end + 12 * 10 + 2 * p);
    const auto text = [&](const std::string& t) {
        const auto it = std::find_if(os.drawn_texts.begin(), os.drawn_texts.end(), [&](const auto& d) { return d.text == t; });
        EXPECT_NE(it, os.drawn_texts.end()) << t;
        return it == os.drawn_texts.end() ? HeadlessPlatform::DrawnText{} : *it;
    };
    EXPECT_EQ(text("Gas: ").colour, rgb(110, 0, 0));
    EXPECT_EQ(text("1,300 mi").x + 80, c.odometer_end - p) << "right-aligned a padding before the column's end";
    EXPECT_EQ(text("35.00").x + 50, c.cost_end - p);
    EXPECT_EQ(text("Mar").x, list.x1 + 2);
    EXPECT_EQ(text("7, 2024").x + 70, list.x1 + 2 + 120) << "as wide as \"Nov 30, 1963\"";
    EXPECT_TRUE(drawn("30.0 mpg   (300 mi using 10.0 gal at $3.50)"));
    EXPECT_FALSE(drawn("0 mi")) << "a maintenance record without an odometer leaves the column empty";

    // The last record is current: navy across the row, white text.
    EXPECT_EQ(os.pixel(list.x2 - 3, row_y(1)), rgb(0, 0, 128));
    EXPECT_EQ(os.pixel(list.x2 - 3, row_y(0)), rgb(255, 255, 255));
    EXPECT_EQ(text("Job 6").colour, rgb(255, 255, 255));
    EXPECT_EQ(selected(), std::vector<int>{1}) << "entering selects the current record";
}

TEST_F(VehicleScreen, EnteringTheScreenShowsWhatAnotherProgramWroteMeanwhile) {
    settings().vehicle_id = 1;
    const std::string file = vehicle_chunk(1, "Honda", "Civic") + service_chunk(1, 6, 8, 0, 45500);
    write(path("vehicle11.dat"), file);
    run();
    ASSERT_TRUE(has_label("1 Records"));
    test::replace_file(path("vehicle11.dat"), file + fuel_chunk(1, 7, 9));
    run();
    EXPECT_TRUE(has_label("2 Records"));
    EXPECT_TRUE(drawn("30.0 mpg   (300 mi using 10.0 gal at $3.50)"));
    EXPECT_TRUE(messages().empty());
}

// ---- the mouse ---------------------------------------------------------------------------------------------------

TEST_F(VehicleScreen, AClickSelectsARowAndASecondClickOpensIt) {
    seed(6);
    run();
    ASSERT_EQ(current(), 5);
    click(text_x(), row_y(2));
    run();
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(selected(), std::vector<int>{2});
    EXPECT_FALSE(drawn("Edit Maintenance Record")) << "another row only becomes current";

    click(text_x(), row_y(2));
    run();
    EXPECT_TRUE(drawn("Edit Maintenance Record"));
}

TEST_F(VehicleScreen, TheCheckBoxColumnAndShiftWorkOnRanges) {
    seed(6);
    run();
    click(check_x(), row_y(1));  // flips row 1 and leaves row 5's mark alone
    run();
    EXPECT_EQ(selected(), (std::vector<int>{1, 5}));
    EXPECT_EQ(current(), 1);
    click(check_x(), row_y(1));
    run();
    EXPECT_EQ(selected(), std::vector<int>{5});
    EXPECT_FALSE(drawn("Edit Maintenance Record")) << "a click in the box column never opens the record";

    click(text_x(), row_y(0));
    click(text_x(), row_y(3), true);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(current(), 3);

    // Dragging down the box column marks every row it passes.
    click(text_x(), row_y(5));
    os.push_mouse_move(check_x(), row_y(1));
    os.push_button_down(check_x(), row_y(1));
    os.push_mouse_move(check_x(), row_y(2));
    os.push_mouse_move(check_x(), row_y(4));
    os.push_button_up(check_x(), row_y(4));
    os.push_wait(60);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(current(), 4);
}

TEST_F(VehicleScreen, DraggingBelowTheListScrollsIt) {
    seed(60);
    run();
    const WidgetRecord list = layout.at(kVehicleListId);
    click(text_x(), row_y(0));
    os.push_key(kKeyHome);
    run();
    ASSERT_EQ(vehicle_manager().list.scroll_offset, 0);
    os.push_mouse_move(text_x(), row_y(1));
    os.push_button_down(text_x(), row_y(1));
    os.push_mouse_move(text_x(), list.y2 + 30);
    for (int i = 0; i < 10; ++i) os.push_wait(100);
    os.push_button_up(text_x(), list.y2 + 30);
    os.push_wait(60);
    run();
    EXPECT_GT(vehicle_manager().list.scroll_offset, 0);
    EXPECT_GT(current(), (list.y2 - list.y1) / 23 - 1);
    EXPECT_EQ(selected(), std::vector<int>{current()});

    const int before = vehicle_manager().list.scroll_offset;
    os.push_mouse_move(text_x(), row_y(3));
    os.push_wheel(120);
    run();
    EXPECT_EQ(vehicle_manager().list.scroll_offset, std::max(0, before - 23 * 3 / 2));
}

// ---- the keys -------------------------------------------------------------------------------------------------------

TEST_F(VehicleScreen, ShiftDownExtendsTheSelectionAndCtrlMovesAlone) {
    seed(8);
    run();
    click(text_x(), row_y(3));
    os.push_key(kKeyDown, true);
    os.push_key(kKeyDown, true);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(current(), 5);

    os.push_key(kKeyDown, false, true);
    run();
    EXPECT_EQ(current(), 6);
    EXPECT_EQ(selected(), (std::vector<int>{3, 4, 5})) << "Ctrl leaves the marks alone";
    os.push_key(kKeySpace);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{3, 4, 5, 6}));

    os.push_key(kKeyHome);
    run();
    EXPECT_EQ(current(), 0);
    EXPECT_EQ(selected(), std::vector<int>{0});
    os.push_key(kKeyUp);
    run();
    EXPECT_EQ(current(), 0) << "kept within the list";
    os.push_key(kKeyEnd);
    run();
    EXPECT_EQ(current(), 7);
    os.push_key(kKeyPageUp);
    run();
    EXPECT_EQ(current(), 0) << "a page is more than the eight rows";
}

TEST_F(VehicleScreen, AHeldKeyRepeatsAfterAPause) {
    seed(40);
    run();
    // Time passes in steps the program sees: a mouse move after every 20 ms.
    const auto hold = [&](int ms) {
        os.push_key_down(kKeyDown);
        for (int t = 0; t < ms; t += 20) {
            os.push_wait(20);
            os.push_mouse_move(5, 5);
        }
        Event up;
        up.kind = EventKind::KeyUp;
        up.key = kKeyDown;
        os.push_event(up);
    };
    os.push_key(kKeyHome);
    hold(300);
    run();
    EXPECT_EQ(current(), 1) << "no repeat before 350 ms";

    hold(700);  // one step, 350 ms, then a step about every 30 ms
    run();
    EXPECT_GE(current(), 1 + 1 + 9);
    EXPECT_LE(current(), 1 + 1 + 13);
}

TEST_F(VehicleScreen, CtrlAAndTheHeaderBoxFlipEveryMark) {
    seed(4);
    run();
    click_widget(kVehicleListCheckId);
    run();
    EXPECT_EQ(selected(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(widgets()[static_cast<std::size_t>(FindWidget(kVehicleListCheckId))].checked, 1);
    os.push_key('A', false, true);
    run();
    EXPECT_TRUE(selected().empty());
    os.push_key('A', false, true);
    run();
    EXPECT_EQ(selected().size(), 4u);
}

TEST_F(VehicleScreen, EnterOpensTheCurrentRecord) {
    settings().vehicle_id = 1;
    write(path("vehicle11.dat"), vehicle_chunk(1, "Honda", "Civic") + fuel_chunk(1, 5, 7));
    run();
    os.push_key(kKeyReturn);
    run();
    EXPECT_TRUE(drawn("Edit Fuel Record"));
}

// ---- the buttons ------------------------------------------------------------------------------------------------------

TEST_F(VehicleScreen, TheVehicleMenuOffersItsFiveActions) {
    seed(1);
    run();
    click_widget(601);
    for (int i = 0; i < 4; ++i) os.push_key(kKeyDown);
    os.push_key(kKeyReturn);
    os.push_wait(10);  // the browser that the fourth item opens
    run();
    EXPECT_EQ(popup_list().lines,
              (std::vector<std::string>{"Add New Vehicle", "Edit Vehicle", "Delete Vehicle", "Import Photo", "Delete Photo"}));
    EXPECT_TRUE(drawn("Locate JPG, PNG, GIF, or BMP Graphic for Photo"));

    // The Enter that picks "Add New Vehicle" does not also move the form's
    // focus, though the window reports something else before its release.
    click_widget(601);
    os.push_key(kKeyDown);
    os.push_key_down(kKeyReturn);
    os.push_mouse_move(5, 5);
    os.push_mouse_move(6, 6);
    Event up;
    up.kind = EventKind::KeyUp;
    up.key = kKeyReturn;
    os.push_event(up);
    os.push_text("2021");
    os.push_key(kKeyTab);
    os.push_text("Kia");
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    os.push_key(kKeyReturn);
    run();
    EXPECT_EQ(vehicle_manager().store.vehicles().size(), 2u);
    EXPECT_TRUE(has_label("2021 Kia ")) << "the new vehicle is current";
    EXPECT_TRUE(has_label("0 Records"));
}

TEST_F(VehicleScreen, AFillUpAddedWithTheKeysAloneShowsItsEconomy) {
    seed(0);
    os.now = UtcTime{2024, 3, 7, 9, 0, 0, 0};
    os.push_text("g");     // Gas by its letter
    os.push_key(kKeyTab);  // the date stays today's
    for (const char* value : {"1000", "1300", "10"}) {
        os.push_text(value);
        os.push_key(kKeyTab);
    }
    os.push_text("35");
    // The Enter that saves is still down when the screen gets the window back.
    os.push_key_down(kKeyReturn);
    os.push_mouse_move(5, 5);
    os.push_mouse_move(6, 6);
    Event up;
    up.kind = EventKind::KeyUp;
    up.key = kKeyReturn;
    os.push_event(up);
    run();
    EXPECT_FALSE(drawn("Edit Fuel Record")) << "the saving Enter does not open the record";
    EXPECT_TRUE(has_label("30.0 mpg"));
    EXPECT_TRUE(has_label("1 Records"));
    EXPECT_TRUE(drawn("30.0 mpg   (300 mi using 10.0 gal at $3.50)"));
}

}  // namespace
}  // namespace domora
