#include "vehicles/vehicle_screen.h"

#include <algorithm>
#include <cmath>

#include "app/main_window.h"
#include "screens/screen_loop.h"
#include "app/startup.h"
#include "platform/platform.h"
#include "ui/popups.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"
#include "vehicles/fillup_import.h"
#include "vehicles/reminders.h"
#include "vehicles/vehicle_charts.h"
#include "vehicles/vehicle_forms.h"
#include "vehicles/vehicle_list.h"
#include "vehicles/vehicle_export.h"
#include "vehicles/vehicle_print.h"
#include "vehicles/vehicle_photo.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr int kMenuId = 601;
constexpr int kSelectVehicleId = 602;
constexpr int kGasId = 603;
constexpr int kMaintenanceId = 604;
constexpr int kEditId = 605;
constexpr int kDeleteId = 606;
constexpr int kFindId = 607;
constexpr int kDisplayId = 608;
constexpr int kExportId = 609;
constexpr int kPrintId = 610;
constexpr int kChartsId = 616;
constexpr int kImportId = 617;
constexpr int kRemindersId = 618;

constexpr int kMargin = 20;
constexpr int kButtonHeight = 32;
constexpr int kPhotoWidth = 240;
constexpr int kPhotoHeight = 180;
constexpr int kScrollBarWidth = 22;

constexpr std::uint32_t kWhiteText = rgb(255, 255, 255);
constexpr std::uint32_t kSoftText = rgb(200, 220, 230);
constexpr std::uint32_t kBlack = rgb(0, 0, 0);
constexpr std::uint32_t kFrame = rgb(24, 52, 64);
constexpr std::uint32_t kHeaderFill = rgb(214, 224, 233);
constexpr std::uint32_t kPhotoFill = rgb(36, 70, 84);
constexpr std::uint32_t kPhotoLine = rgb(120, 150, 165);
// A reminder's urgency, in colours that read on the screen's background.
constexpr std::uint32_t kErrorText = rgb(255, 120, 110);
constexpr std::uint32_t kWarningText = rgb(255, 205, 90);

const char* const kMenuItems[] = {"Add New Vehicle", "Edit Vehicle", "Delete Vehicle", "Import Photo", "Delete Photo"};

int g_last_width = 0;
int g_last_height = 0;

int add_label(int x, int y, std::uint32_t colour, FontHandle font, const std::string& text, int alignment = 0) {
    const int width = MeasureText(font, text).width;
    const int left = alignment == 1 ? x - width : x;
    return AddWidget(0, kKindLabel, left, y, left + width + 1, y + FontHeight(font), colour, 0, font, 0, text);
}

// Where a screen without vehicles has its details: the way to add the first one.
int add_first_vehicle_hint(int x, int y, int line) {
    const Fonts& f = fonts();
    add_label(x, y, kWhiteText, f.user_bold, "There is no vehicle yet.");
    add_label(x, y + line, kSoftText, f.user_normal, "To add one, click Vehicle Manager (or press V)");
    add_label(x, y + 2 * line, kSoftText, f.user_normal, "and choose Add New Vehicle.");
    return y + 3 * line;
}

int button_width(const std::string& caption, int least) {
    return std::max(least, MeasureText(fonts().button, caption).width + 30);
}

// ---- drawing ---------------------------------------------------------------------------------------

void draw_vehicle_screen() {
    VehicleManager& m = vehicle_manager();
    VehicleStore& store = m.store;
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    BeginWidgets();
    add_tab_bar(kScreenVehicles);

    // The vehicle: menus, heading, photo, details and totals.
    int x = kMargin;
    const int top = kTabBarHeight + 16;
    const int menu_width = button_width("Vehicle Manager", 150) + 24;
    AddWidget(kMenuId, kKindButton, x, top, x + menu_width, top + kButtonHeight, kBlack, 0, f.button, 2, ">Vehicle Manager");
    x += menu_width + 10;
    const int select_width = button_width("Select Vehicle", 150) + 24;
    AddWidget(kSelectVehicleId, kKindButton, x, top, x + select_width, top + kButtonHeight, kBlack, 0, f.button, 2,
              ">Select Vehicle");
    x += select_width + 24;
    const std::optional<VehicleInfo> vehicle = store.current_vehicle();
    const std::string heading = vehicle ? vehicle->year + " " + vehicle->make + " " + vehicle->model : "";
    add_label(x, top + (kButtonHeight - FontHeight(f.large_heading)) / 2, kWhiteText, f.large_heading, heading);

    const int photo_top = top + kButtonHeight + 16;
    const Rect photo{kMargin, photo_top, kMargin + kPhotoWidth, photo_top + kPhotoHeight};
    AddWidget(0, kKindPanel, photo.left, photo.top, photo.right, photo.bottom, kPhotoLine, kPhotoFill, 0, 0, "");
    const Picture* picture = vehicle ? vehicle_photo(m, vehicle->photo) : nullptr;
    if (picture) {
        AddWidget(0, kKindPicture, photo.left + 1, photo.top + 1, photo.right - 1, photo.bottom - 1, 0, 0, 0, 0, "");
    } else {
        const std::string none = "No Photo";
        add_label((photo.left + photo.right - MeasureText(f.user_normal, none).width) / 2,
                  (photo.top + photo.bottom - FontHeight(f.user_normal)) / 2, kSoftText, f.user_normal, none);
    }

    const int line = FontHeight(f.user_normal) + 10;
    const int info_left = photo.right + 30;
    const int facts_start = widget_count();
    int y = photo_top + 4;
    for (const auto& [label, value] : {std::pair<std::string, std::string>{"VIN:  ", vehicle ? vehicle->vin : ""},
                                       std::pair<std::string, std::string>{"License:  ", vehicle ? vehicle->license : ""}}) {
        add_label(info_left, y, kSoftText, f.user_bold, label);
        add_label(info_left + MeasureText(f.user_bold, label).width, y, kWhiteText, f.user_normal, value);
        y += line;
    }
    y += line / 2;
    const std::pair<std::string, std::string> totals[] = {
        {"Maintenance Costs:  ", format_cost_total(store.maintenance_total())},
        {"Fuel Costs:  ", format_cost_total(store.fuel_total())},
        {"Average Fuel Economy:  ", format_economy(store.average_economy())},
    };
    const std::string next_label = "Next Reminder:  ";
    int label_width = MeasureText(f.user_bold, next_label).width;
    for (const auto& total : totals) label_width = std::max(label_width, MeasureText(f.user_bold, total.first).width);
    const int value_right = info_left + label_width + MeasureText(f.user_normal, "$ 9,999,999.00").width;
    for (const auto& [label, value] : totals) {
        add_label(info_left, y, kSoftText, f.user_bold, label);
        add_label(value_right, y, kWhiteText, f.user_normal, value, 1);
        y += line;
    }
    if (!vehicle) {
        // Nothing to show yet: instead of empty details and zero figures, how to begin.
        EndWidgets(facts_start);
        y = add_first_vehicle_hint(info_left, photo_top + 4, line);
    } else {
        // The service due next, in the colour of its urgency.
        const int today = today_number();
        const Reminder* next = next_reminder(reminders_of(m), vehicle->vehicle_id, store, today);
        std::string due = "None";
        std::uint32_t due_colour = kWhiteText;
        if (next) {
            due = reminder_text(*next);
            const ReminderState state =
                reminder_due(*next, today, vehicle_odometer(store, vehicle->vehicle_id), us_units()).state;
            if (state == ReminderState::Overdue) due_colour = kErrorText;
            if (state == ReminderState::Soon) due_colour = kWarningText;
            if (state == ReminderState::Overdue) due += " (overdue)";
        }
        const int due_left = info_left + label_width;
        add_label(info_left, y, kSoftText, f.user_bold, next_label);
        // The box ends at the window's margin, so a long text is drawn cut with the ellipsis.
        const int due_right = std::min(due_left + MeasureText(f.user_normal, due).width + 1, win.client_width - kMargin);
        AddWidget(0, kKindLabel, due_left, y, due_right, y + FontHeight(f.user_normal), due_colour, 0, f.user_normal, 0, due);
        y += line;
    }

    // Find, the display filter and the count.
    const int list_right = win.client_width - kMargin - kScrollBarWidth;
    const int tools_top = std::max(photo.bottom, y) + 16;
    const int find_width = button_width("Find", 100);
    AddWidget(kFindId, kKindButton, kMargin, tools_top, kMargin + find_width, tools_top + kButtonHeight, kBlack, 0, f.button, 1,
              "Find");
    const int display_left = kMargin + find_width + 10;
    const int display_width = button_width("Display: Maintenance Records", 200) + 24;
    AddWidget(kDisplayId, kKindButton, display_left, tools_top, display_left + display_width, tools_top + kButtonHeight, kBlack,
              0, f.button, 0, ">Display: " + display_filter_name(store.display_filter()));
    const int charts_left = display_left + display_width + 10;
    const int charts_right = charts_left + button_width("Charts", 110);
    AddWidget(kChartsId, kKindButton, charts_left, tools_top, charts_right, tools_top + kButtonHeight, kBlack, 0, f.button, 1,
              "Charts");
    AddWidget(kRemindersId, kKindButton, charts_right + 10, tools_top, charts_right + 10 + button_width("Reminders", 110),
              tools_top + kButtonHeight, kBlack, 0, f.button, 1, "Reminders");
    add_label(list_right + kScrollBarWidth, tools_top + (kButtonHeight - FontHeight(f.user_bold)) / 2, kWhiteText, f.user_bold,
              std::to_string(store.record_count()) + " Records", 1);

    // The column headings over the list.
    const int row = static_cast<int>(std::lround(user_line_height()));
    const int header_top = tools_top + kButtonHeight + 12;
    const int header_bottom = header_top + row + 6;
    const RecordColumns c = record_columns(kMargin, list_right);
    AddWidget(0, kKindPanel, kMargin - 1, header_top, list_right + kScrollBarWidth + 1, header_bottom, kFrame, kHeaderFill, 0, 0,
              "");
    const int hy = header_top + (header_bottom - header_top - FontHeight(f.user_bold)) / 2;
    add_label(c.date_left, hy, kBlack, f.user_bold, "Date");
    add_label(c.odometer_end - c.padding, hy, kBlack, f.user_bold, "Odometer", 1);
    add_label(c.cost_end - c.padding, hy, kBlack, f.user_bold, "Cost", 1);
    const int box = AddWidget(kVehicleListCheckId, kKindCheckBox, c.check_left + (c.check_right - c.check_left - 16) / 2,
                              header_top, c.check_right, header_bottom, kBlack, 0, f.user_normal, 0, "");
    widgets()[static_cast<std::size_t>(box - 1)].checked = all_records_selected(m) ? 1 : 0;
    widgets()[static_cast<std::size_t>(box - 1)].accessible_name = "Select All";
    add_label(c.record_left, hy, kBlack, f.user_bold, "Record");

    // The list, its scroll bar, and the record buttons under it.
    const int buttons_top = win.client_height - kMargin - kButtonHeight;
    const int list_top = header_bottom;
    // Whole rows only, so the list never shows half a record at its edges.
    const int list_bottom = list_top + row * std::max(1, (buttons_top - 14 - list_top) / row);
    ListState& list = m.list;
    list.row_height = row;
    list.scroll_step = row;
    list.view_height = list_bottom - list_top;
    sync_record_list(m);
    if (win.client_width != g_last_width || win.client_height != g_last_height) {
        // A new window size keeps the current row in sight.
        g_last_width = win.client_width;
        g_last_height = win.client_height;
        scroll_to_current(list);
    }
    AddWidget(0, kKindOutline, kMargin - 1, list_top - 1, list_right + kScrollBarWidth + 1, list_bottom + 1, kFrame, 0, 0, 0, "");
    AddWidget(kVehicleListId, kKindVehicleList, kMargin, list_top, list_right, list_bottom, 0, 0, f.user_normal, 0, "");
    AddWidget(kVehicleScrollUpId, kKindButton, list_right, list_top, list_right + kScrollBarWidth, list_top + kScrollBarWidth, 0, 0,
              f.button, 0, "\x01");
    const int bar = AddWidget(kVehicleScrollBarId, kKindScrollBar, list_right, list_top + kScrollBarWidth, list_right + kScrollBarWidth,
                              list_bottom - kScrollBarWidth, 0, 0, 0, 0, "");
    widgets()[static_cast<std::size_t>(bar - 1)].list = &list;
    AddWidget(kVehicleScrollDownId, kKindButton, list_right, list_bottom - kScrollBarWidth, list_right + kScrollBarWidth, list_bottom,
              0, 0, f.button, 0, "\x02");

    struct Button {
        int id;
        const char* caption;
        int mnemonic;
    };
    x = kMargin;
    for (const Button& b : {Button{kGasId, "Gas", 1}, Button{kMaintenanceId, "Maintenance", 1}, Button{kEditId, "Edit", 1},
                            Button{kDeleteId, "Delete", 1}}) {
        const int width = button_width(b.caption, 110);
        AddWidget(b.id, kKindButton, x, buttons_top, x + width, buttons_top + kButtonHeight, kBlack, 0, f.button, b.mnemonic,
                  b.caption);
        x += width + 10;
    }
    x = list_right + kScrollBarWidth;
    for (const Button& b : {Button{kPrintId, "Print", 1}, Button{kExportId, "Export", 2}, Button{kImportId, "Import", 1}}) {
        const int width = button_width(b.caption, 110);
        AddWidget(b.id, kKindButton, x - width, buttons_top, x, buttons_top + kButtonHeight, kBlack, 0, f.button, b.mnemonic,
                  b.caption);
        x -= width + 10;
    }
    DrawAllWidgets();
}

// ---- actions ------------------------------------------------------------------------------------------

const WidgetRecord* screen_widget(int id) {
    const int index = FindWidget(id);
    return index < 0 ? nullptr : &widgets()[static_cast<std::size_t>(index)];
}

void vehicle_menu(VehicleManager& m) {
    const WidgetRecord* button = screen_widget(kMenuId);
    if (!button) return;
    popup_list().lines.assign(std::begin(kMenuItems), std::end(kMenuItems));
    int picked = -1;
    PickFromList(button->x1, button->y2, button->x2 - button->x1, 0, 0, picked);
    wait_for_key_up();
    switch (picked) {
        case 0: add_vehicle(m); break;
        case 1: edit_vehicle(m); break;
        case 2: delete_vehicle(m); break;
        case 3: import_vehicle_photo(m); break;
        case 4: delete_vehicle_photo(m); break;
        default: break;
    }
}

void drop_down_at(int id, void (*action)(VehicleManager&, int, int, int), VehicleManager& m) {
    const WidgetRecord* button = screen_widget(id);
    if (button) action(m, button->x1, button->y2, button->x2 - button->x1);
}

void act(VehicleManager& m, int id) {
    switch (id) {
        case kMenuId: vehicle_menu(m); break;
        case kSelectVehicleId: drop_down_at(id, choose_vehicle, m); break;
        case kGasId: add_fuel_record(m); break;
        case kMaintenanceId: add_maintenance_record(m); break;
        case kEditId: edit_current_record(m); break;
        case kDeleteId: delete_selected_records(m); break;
        case kFindId: find_records(m); break;
        case kDisplayId: drop_down_at(id, choose_display_filter, m); break;
        case kExportId: ask_and_export_vehicle_records(m); break;
        case kPrintId: print_vehicle_records(m); break;
        case kChartsId: show_vehicle_charts(m); break;
        case kImportId: {
            // The form covered the screen: the outcome is told over the screen again.
            const std::string outcome = import_fill_ups(m);
            draw_vehicle_screen();
            if (!outcome.empty()) show_ok(outcome);
            break;
        }
        case kRemindersId: manage_reminders(m); break;
        case kVehicleListCheckId:
            toggle_all_selected(m);
            redraw_record_list();
            return;
        default: return;
    }
    main_window().screen_needs_redraw = true;
}

// ---- keeping the window alive during long walks ---------------------------------------------------------

bool keep_window_alive() {
    static std::uint64_t last = 0;
    const std::uint64_t now = platform().tick_ms();
    if (now - last >= 50) {
        last = now;
        pump_message(false);
    }
    return !main_window().quit_requested;
}

}  // namespace

void vehicle_screen() {
    VehicleManager& m = vehicle_manager();
    show_records_of(&m);
    install_record_list_drawer();
    install_vehicle_photo_drawer();
    StoreCallbacks callbacks;
    callbacks.keep_going = keep_window_alive;
    callbacks.progress_open = OpenProgress;
    callbacks.progress = UpdateProgress;
    callbacks.progress_close = CloseProgress;
    m.store.set_callbacks(callbacks);
    enter_vehicle_manager(m);
    // Read here, not while the screen is being drawn, so that a message about
    // a damaged reminders file is not drawn into the middle of the screen.
    reminders_of(m);

    InputState& in = input();
    ScreenLoop loop(kScreenVehicles);
    bool press_taken = false;
    // A key counts once it has been seen going down on this screen; the key
    // that closed a popup is still held when the screen gets it back.
    bool keys_armed = in.key == 0;
    int id = 0;
    while (loop.next(id, draw_vehicle_screen)) {
        if (in.key == 0) keys_armed = true;
        if (id != 0) {
            wait_for_release();
            act(m, id);
            keys_armed = in.key == 0;
            continue;
        }
        if (in.button == 0) press_taken = false;
        if (in.button == 1 && !press_taken) {
            press_taken = true;
            for (int target : {kVehicleListId, kVehicleScrollUpId, kVehicleScrollBarId, kVehicleScrollDownId}) {
                const int index = FindWidget(target);
                if (index < 0 || !widgets()[static_cast<std::size_t>(index)].contains(in.mouse_x, in.mouse_y)) continue;
                if (target == kVehicleListId) {
                    record_list_press(m, index);
                } else {
                    record_list_scroll_press(m, index);
                }
                keys_armed = in.key == 0;
                press_taken = false;
                break;
            }
            continue;
        }
        if (in.wheel_lines != 0) {
            record_list_wheel(m, in.wheel_lines);
            continue;
        }
        if (in.key != 0 && keys_armed) {
            const int key = in.key;
            if (record_list_key(m, key, in.shift, in.ctrl)) keys_armed = in.key == 0;
        }
    }
    show_records_of(nullptr);
}

}  // namespace domora
