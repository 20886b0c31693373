#include "screens/options_screen.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/font_families.h"
#include "platform/platform.h"
#include "screens/backup_restore.h"
#include "screens/screen_loop.h"
#include "ui/popups.h"
#include "ui/screen_font.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace domora {

namespace {

constexpr int kButtonHeight = 32;
constexpr int kIdleStep = 30;
constexpr int kIdleEntries = 7;
constexpr std::uint32_t kWhiteText = rgb(255, 255, 255);
constexpr std::uint32_t kSoftText = rgb(200, 220, 230);
constexpr std::uint32_t kBlack = rgb(0, 0, 0);

OptionsActions g_actions;

int add_label(int x, int y, int height, std::uint32_t colour, FontHandle font, const std::string& text) {
    const int top = y + (height - FontHeight(font)) / 2;
    const int width = MeasureText(font, text).width;
    AddWidget(0, kKindLabel, x, top, x + width + 1, top + FontHeight(font), colour, 0, font, 0, text);
    return x + width;
}

// A box that drops down a list: as wide as its widest text plus the arrow.
int add_drop_box(int id, int x, int y, int text_width, FontHandle font, const std::string& text) {
    int arrow_w = 16, arrow_h = 16;
    platform().bitmap_size("BIG_DOWN", arrow_w, arrow_h);
    const int right = x + text_width + arrow_w + 28;
    AddWidget(id, kKindButton, x, y, right, y + kButtonHeight, kBlack, 0, font, 0, ">" + text);
    return right;
}

void draw_options() {
    const Fonts& f = fonts();
    BeginWidgets();
    add_tab_bar(kScreenOptions);

    int title_w = 220, title_h = 40;
    platform().bitmap_size("TITLE_LARGE", title_w, title_h);
    int mark_w = 24, mark_h = 24;
    platform().bitmap_size("MEDIUM_X", mark_w, mark_h);
    const int left = MeasureText(f.button, "Measurements").width + 30;
    const int indent = left + mark_w + 12;
    int y = kTabBarHeight + 24;
    AddWidget(0, kKindBitmap, left, y, left + title_w, y + title_h, 0, 0, 0, 0, "TITLE_LARGE");
    y += title_h + 24;

    const std::string product = kProductName;
    const int button_width = std::max({MeasureText(f.button, "Vehicle Repair").width, MeasureText(f.button, "Screen Font").width,
                                       MeasureText(f.button, "Restore").width, MeasureText(f.button, "Contacts Sync").width}) + 40;
    const int row = kButtonHeight + 14;
    auto heading = [&](const std::string& text) {
        const int h = std::max(mark_h, FontHeight(f.user_bold));
        AddWidget(0, kKindBitmap, left, y + (h - mark_h) / 2, left + mark_w, y + (h + mark_h) / 2, 0, 0, 0, 0, "MEDIUM_X");
        add_label(indent, y, h, kWhiteText, f.user_bold, text);
        y += h + 14;
    };
    auto action = [&](int id, const std::string& caption, const std::string& text) {
        AddWidget(id, kKindButton, indent, y, indent + button_width, y + kButtonHeight, kBlack, 0, f.button, 1, caption);
        add_label(indent + button_width + 12, y, kButtonHeight, kSoftText, f.user_normal, text);
        y += row;
    };

    heading("File Backup:");
    action(kOptionsBackupId, "Backup", " - Save your " + product + " files to another drive or folder.");
    action(kOptionsRestoreId, "Restore", " - Restore " + product + " from an earlier backup, or from an older version.");
    action(kOptionsContactsSyncId, "Contacts Sync", " - Keep your addresses in step with a CardDAV server, your phone and other computers.");
    y += 16;

    heading("Miscellaneous:");
    const Settings& s = settings();
    AddWidget(kOptionsScreenFontId, kKindButton, indent, y, indent + button_width, y + kButtonHeight, kBlack, 0, f.button, 8,
              "Screen Font");
    int x = indent + button_width + 12;
    const int face_width = std::max(MeasureText(f.user_normal, s.screen_font).width, MeasureText(f.user_normal, "Liberation Sans Narrow").width);
    x = add_drop_box(kOptionsFontBoxId, x, y, face_width, f.user_normal, s.screen_font) + 16;
    x = add_label(x, y, kButtonHeight, kWhiteText, f.user_normal, "Size:") + 8;
    x = add_drop_box(kOptionsSizeBoxId, x, y, MeasureText(f.user_normal, "999").width, f.user_normal,
                     std::to_string(s.screen_font_size)) + 20;
    const int check_width = MeasureText(f.user_normal, "Smooth Fonts").width + 40;
    const int check = AddWidget(kOptionsSmoothId, kKindCheckBox, x, y, x + check_width, y + kButtonHeight, kWhiteText, 0,
                                f.user_normal, 2, "Smooth Fonts");
    widgets()[static_cast<std::size_t>(check - 1)].checked = s.font_smoothing == 1 ? 1 : 0;
    y += row;

    action(kOptionsRepairId, "Vehicle Repair", " - Repair corrupted vehicle data file.");
    y += 8;
    x = add_label(indent, y, kButtonHeight, kWhiteText, f.user_normal, "Auto Close " + product + " If No Activity: ");
    add_drop_box(kOptionsIdleBoxId, x + 4, y, MeasureText(f.user_normal, "After 999 Minutes").width, f.user_normal,
                 idle_text(s.auto_close_minutes));
    y += row;
    const std::vector<std::string> economy = economy_choices();
    int economy_width = 0;
    for (const std::string& name : economy) economy_width = std::max(economy_width, MeasureText(f.user_normal, name).width);
    const bool known_unit = s.fuel_economy_unit >= 0 && s.fuel_economy_unit < kEconomyUnitCount;
    x = add_label(indent, y, kButtonHeight, kWhiteText, f.user_normal, "Fuel Economy:");
    add_drop_box(kOptionsEconomyBoxId, x + 12, y, economy_width, f.user_normal,
                 economy[static_cast<std::size_t>(known_unit ? s.fuel_economy_unit : kEconomyAutomatic)]);
    y += row + 16;

    heading("Passwords:");
    const std::string protection_label = "Password Protection:", lock_label = "Lock Passwords After:";
    const int box_left = indent + std::max(MeasureText(f.user_normal, protection_label).width,
                                           MeasureText(f.user_normal, lock_label).width) + 12;
    add_label(indent, y, kButtonHeight, kWhiteText, f.user_normal, protection_label);
    add_drop_box(kOptionsProtectionBoxId, box_left, y, MeasureText(f.user_normal, "Standard").width, f.user_normal,
                 g_actions.password_protection ? g_actions.password_protection() : "Standard");
    y += row;
    add_label(indent, y, kButtonHeight, kWhiteText, f.user_normal, lock_label);
    add_drop_box(kOptionsLockBoxId, box_left, y, MeasureText(f.user_normal, "After 999 Minutes").width, f.user_normal,
                 lock_text(s.password_lock_minutes));
    DrawAllWidgets();
}

Rect box_of(int id) {
    const int index = FindWidget(id);
    if (index < 0) return Rect{};
    return widgets()[static_cast<std::size_t>(index)].rect();
}

// Drops a list down under the box, the current value highlighted; the chosen line, or -1.
int pick_under(int box_id, const std::vector<std::string>& lines, int current) {
    const Rect box = box_of(box_id);
    popup_list().lines = lines;
    popup_list().current = current;
    int picked = -1;
    PickFromList(box.left, box.bottom, box.right - box.left, 0, 0, picked);
    main_window().screen_needs_redraw = true;
    return picked >= 0 && picked < static_cast<int>(lines.size()) ? picked : -1;
}

// A change to the font settings: put right, saved, and the fonts made again.
void apply_font_change() {
    make_fonts();
    save_settings();
    main_window().screen_needs_redraw = true;
}

void reset_font() {
    int answer = 2;
    ShowPopup(std::string("Do you want to return to the default font?|") + kDefaultScreenFont + " - " +
                  std::to_string(kDefaultScreenFontSize),
              "", 1, "OK|Cancel", 0, answer);
    main_window().screen_needs_redraw = true;
    if (answer != 1 || main_window().quit_requested) return;
    settings().screen_font = kDefaultScreenFont;
    settings().screen_font_size = kDefaultScreenFontSize;
    apply_font_change();
}

void choose_font() {
    const std::vector<std::string> families = installed_font_families();
    const int picked = pick_under(kOptionsFontBoxId, families, index_of(families, settings().screen_font));
    if (picked < 0 || families[static_cast<std::size_t>(picked)].empty()) return;
    settings().screen_font = families[static_cast<std::size_t>(picked)];
    apply_font_change();
}

void choose_size() {
    const std::vector<int> sizes = font_size_choices(main_window().client_height);
    std::vector<std::string> lines;
    for (int size : sizes) lines.push_back(std::to_string(size));
    const int picked = pick_under(kOptionsSizeBoxId, lines, index_of(lines, std::to_string(settings().screen_font_size)));
    if (picked < 0) return;
    settings().screen_font_size = sizes[static_cast<std::size_t>(picked)];
    apply_font_change();
}

void toggle_smoothing() {
    settings().font_smoothing = settings().font_smoothing == 1 ? 0 : 1;
    apply_font_change();
}

void choose_idle_time() {
    const std::vector<std::string> choices = idle_choices();
    const int picked = pick_under(kOptionsIdleBoxId, choices, index_of(choices, idle_text(settings().auto_close_minutes)));
    if (picked < 0) return;
    settings().auto_close_minutes = kIdleStep * picked;
    main_window().idle_countdown = settings().auto_close_minutes;
    save_settings();
    main_window().screen_needs_redraw = true;
}

void choose_economy_unit() {
    const bool known = settings().fuel_economy_unit >= 0 && settings().fuel_economy_unit < kEconomyUnitCount;
    const int picked = pick_under(kOptionsEconomyBoxId, economy_choices(), known ? settings().fuel_economy_unit : 0);
    if (picked < 0) return;
    settings().fuel_economy_unit = picked;
    save_settings();
}

void choose_protection() {
    const std::vector<std::string> kinds = {"Standard", "Strong"};
    const std::string current = g_actions.password_protection ? g_actions.password_protection() : "Standard";
    const int picked = pick_under(kOptionsProtectionBoxId, kinds, index_of(kinds, current));
    if (picked < 0 || !g_actions.set_password_protection) return;
    g_actions.set_password_protection(picked == 1);
}

void choose_lock_time() {
    const std::vector<int> minutes = lock_choices();
    std::vector<std::string> lines;
    for (int m : minutes) lines.push_back(lock_text(m));
    const int picked = pick_under(kOptionsLockBoxId, lines, index_of(lines, lock_text(settings().password_lock_minutes)));
    if (picked < 0) return;
    settings().password_lock_minutes = minutes[static_cast<std::size_t>(picked)];
    save_settings();
}

void act(int id) {
    switch (id) {
        case kOptionsScreenFontId: reset_font(); break;
        case kOptionsFontBoxId: choose_font(); break;
        case kOptionsSizeBoxId: choose_size(); break;
        case kOptionsSmoothId: toggle_smoothing(); break;
        case kOptionsBackupId: backup(); break;
        case kOptionsRestoreId: restore(g_actions.forget_data); break;
        case kOptionsRepairId:
            if (g_actions.repair_vehicles) g_actions.repair_vehicles();
            break;
        case kOptionsIdleBoxId: choose_idle_time(); break;
        case kOptionsEconomyBoxId: choose_economy_unit(); break;
        case kOptionsProtectionBoxId: choose_protection(); break;
        case kOptionsLockBoxId: choose_lock_time(); break;
        case kOptionsContactsSyncId:
            if (g_actions.contacts_sync) g_actions.contacts_sync();
            break;
        default: return;
    }
    main_window().screen_needs_redraw = true;
}

}  // namespace

void set_options_actions(const OptionsActions& actions) { g_actions = actions; }

std::string idle_text(int minutes) { return minutes == 0 ? "Never" : "After " + std::to_string(minutes) + " minutes"; }

std::vector<std::string> idle_choices() {
    std::vector<std::string> lines;
    for (int i = 0; i < kIdleEntries; ++i) lines.push_back(idle_text(kIdleStep * i));
    return lines;
}

std::vector<std::string> economy_choices() { return {"Automatic", "km/l", "L/100 km", "mpg (US)", "mpg (UK)"}; }
std::string lock_text(int minutes) {
    if (minutes <= 0) return "Never";
    return minutes == 1 ? "After 1 minute" : "After " + std::to_string(minutes) + " minutes";
}

std::vector<int> lock_choices() { return {0, 1, 5, 15, 60}; }

void options_screen() {
    ScreenLoop loop(kScreenOptions);
    int id = 0;
    while (loop.next(id, draw_options)) {
        if (id == 0) continue;
        wait_for_release();
        act(id);
    }
}

}  // namespace domora
