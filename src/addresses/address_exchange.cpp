#include "addresses/address_exchange.h"

#include <algorithm>
#include <utility>

#include "addresses/address_actions.h"
#include "addresses/address_csv_layouts.h"
#include "addresses/address_export.h"
#include "addresses/address_import_file.h"
#include "addresses/address_list.h"
#include "app/files.h"
#include "app/launch.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "app/text.h"
#include "app/update_check.h"
#include "platform/cp1252.h"
#include "platform/platform.h"
#include "ui/event_wait.h"
#include "ui/file_browser.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace domora {

namespace {

// The selected records of the view, in view order.
std::vector<ExportRecord> selected_records(AddressStore& store, const std::string& progress_text) {
    std::vector<ExportRecord> records;
    const int count = store.count();
    OpenProgress();
    for (int p = 0; p < count; ++p) {
        UpdateProgress(progress_text, "", p + 1, count);
        const std::uint32_t offset = store.item(p);
        if ((store.marks_at(offset) & kSelectedMark) == 0) continue;
        records.push_back(ExportRecord{store.record_at(offset).fields, p == count - 1});
    }
    CloseProgress();
    return records;
}

// The save dialog's loop: a name, the default extension, the overwrite question.
bool choose_export_file(const std::string& extension, std::string& path) {
    std::string folder = settings().export_path;
    std::string name = "Addresses" + extension;
    for (;;) {
        int result = 0;
        BrowseForFile("Export Addresses", folder, name, result);
        if (result != 1) return false;
        name = trim(name);
        if (name.empty()) {
            show_ok("You must enter a filename");
            continue;
        }
        name = with_default_extension(name, extension);
        if (file_exists(folder + name) && !ask_ok_cancel(name + "|Already Exists!|Do you want to overwrite it?")) continue;
        settings().export_path = folder;
        save_settings();
        path = folder + name;
        return true;
    }
}

// ---- the mapping form ---------------------------------------------------------------------------

constexpr int kRowBase = 100;
constexpr int kResetId = 201;
constexpr int kAutoId = 202;
constexpr int kOkId = 203;
constexpr int kCancelId = 204;

const char* const kRowLabels[kAddressFieldCount] = {
    "First:", "Last:", "Company:", "Address 1:", "Address 2:", "City:", "State:", "Zip/Postal Code:", "Country:",
    "Home Phone:", "Work Phone:", "Cell Phone:", "Email:", "Web Site:", "Miscellaneous 1:", "Miscellaneous 2:", "Miscellaneous 3:",
};

void draw_mapping_form(const std::vector<std::string>& header, const FieldMapping& mapping) {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    BeginWidgets();
    AddWidget(kHeaderBandId, kKindHitArea, 0, 0, win.client_width, 35, 0, 0, 0, 0, "");
    const std::string heading = std::string("Select CSV entries that best match ") + kProductName + " data fields.";
    const int heading_height = FontHeight(f.large_heading);
    const int heading_width = MeasureText(f.large_heading, heading).width;
    AddWidget(0, kKindLabel, (win.client_width - heading_width) / 2, 50, (win.client_width + heading_width) / 2 + 1, 50 + heading_height,
              rgb(255, 255, 255), 0, f.large_heading, 0, heading);
    int label_width = 0;
    for (const char* label : kRowLabels) label_width = std::max(label_width, MeasureText(f.message, label).width);
    const int row_height = std::max(FontHeight(f.input) + 8, (win.client_height - 200 - heading_height) / kAddressFieldCount);
    const int box_width = std::min(520, win.client_width - label_width - 200);
    const int left = (win.client_width - label_width - 12 - box_width) / 2;
    int y = 50 + heading_height + 20;
    for (int i = 0; i < kAddressFieldCount; ++i) {
        const int column = mapping[static_cast<std::size_t>(i)];
        const std::string shown = column > 0 && column <= static_cast<int>(header.size()) ? header[static_cast<std::size_t>(column - 1)] : "";
        const int text_height = FontHeight(f.message);
        const int lw = MeasureText(f.message, kRowLabels[i]).width;
        AddWidget(0, kKindLabel, left + label_width - lw, y + (row_height - 4 - text_height) / 2, left + label_width + 1,
                  y + row_height, rgb(255, 255, 255), 0, f.message, 0, kRowLabels[i]);
        AddWidget(kRowBase + i, kKindButton, left + label_width + 12, y, left + label_width + 12 + box_width, y + row_height - 4,
                  rgb(0, 0, 0), 0, f.input, 0, ">" + shown);
        y += row_height;
    }
    const int buttons_top = std::min(y + 12, win.client_height - 44);
    const char* captions[] = {"Reset", "Auto", "OK", "Cancel"};
    const int ids[] = {kResetId, kAutoId, kOkId, kCancelId};
    int width = 80;
    for (const char* c : captions) width = std::max(width, MeasureText(f.button, c).width + 30);
    const int row_left = (win.client_width - 4 * width - 30) / 2;
    for (int i = 0; i < 4; ++i) {
        const int x = row_left + i * (width + 10);
        const int count = AddWidget(ids[i], kKindButton, x, buttons_top, x + width, buttons_top + 32, rgb(0, 0, 0), 0, f.button, 1,
                                    captions[i]);
        widgets()[static_cast<std::size_t>(count - 1)].checked = ids[i] == kOkId ? 1 : 0;  // Enter is OK
    }
    DrawAllWidgets();
}

}  // namespace

bool run_mapping_form(const std::vector<std::string>& header, const std::string& header_line, FieldMapping& mapping) {
    MainWindowState& win = main_window();
    mapping = auto_map(header, header_line);
    const bool was_open = win.popup_open;
    win.popup_open = true;  // no screen change while the form is up
    bool accepted = false;
    bool done = false;
    win.screen_needs_redraw = false;
    draw_mapping_form(header, mapping);
    const InputState& in = input();
    while (!done && !win.quit_requested) {
        if (win.screen_needs_redraw) {
            win.screen_needs_redraw = false;
            draw_mapping_form(header, mapping);
        }
        const int id = event_wait(true);
        if (id >= kRowBase && id < kRowBase + kAddressFieldCount) {
            wait_for_release();
            PopupList& list = popup_list();
            list.lines = {"Blank - Do not import this field"};
            for (std::size_t c = 0; c < header.size() && c < 255; ++c) list.lines.push_back(header[c].substr(0, 80));
            list.current = mapping[static_cast<std::size_t>(id - kRowBase)];
            const WidgetRecord& row = widgets()[static_cast<std::size_t>(FindWidget(id))];
            int chosen = -1;
            PickFromList(row.x1, row.y2, row.x2 - row.x1, 0, 0, chosen);
            if (chosen >= 0) mapping[static_cast<std::size_t>(id - kRowBase)] = chosen;
            win.screen_needs_redraw = true;
        } else if (id == kResetId) {
            mapping = FieldMapping{};
            win.screen_needs_redraw = true;
        } else if (id == kAutoId) {
            mapping = auto_map(header, header_line);
            win.screen_needs_redraw = true;
        } else if (id == kOkId || (id == 0 && in.key == kKeyReturn)) {
            wait_for_release();
            if (mapping[kFieldFirst] == 0 && mapping[kFieldLast] == 0 && mapping[kFieldCompany] == 0) {
                show_ok("You must select a name or company for importing");
                win.screen_needs_redraw = true;
            } else {
                accepted = true;
                done = true;
            }
        } else if (id == kCancelId) {
            done = true;
        }
    }
    win.popup_open = was_open;
    win.screen_needs_redraw = true;
    wait_for_release();
    return accepted;
}

// ---- export ---------------------------------------------------------------------------------------

void export_addresses(AddressStore& store) {
    if (store.size() == 0) {
        show_ok("There are no addresses to export");
        return;
    }
    if (store.count() == 0 || !store.valid_position(store.current())) {
        show_ok("No Record Selected");
        return;
    }
    int button = 0, format = 0;
    ShowChoice("Export Selected Addresses", "Business Card (vCard)|Comma Separated Text (CSV)|Email Address List|Plain Text",
               "File|Clipboard|Cancel", button, format);
    if (button != 1 && button != 2) return;
    const char* const extensions[] = {".vcf", ".csv", ".txt", ".txt"};
    std::string path = app_paths().scratch_file;
    if (button == 1 && !choose_export_file(extensions[format], path)) return;

    std::string text;
    std::string exported;  // how many of what, for the closing message
    if (format == 0) {
        // A vCard file is UTF-8; the clipboard takes the text and converts it itself.
        const std::vector<ExportRecord> records = selected_records(store, "Exporting Addresses...");
        text = button == 1 ? vcard_file(records, platform().utc_now()) : vcard_text(records, platform().utc_now());
        exported = count_of(static_cast<std::int64_t>(records.size()), "address", "addresses");
    } else if (format == 1 || format == 3) {
        const std::vector<ExportRecord> records = selected_records(store, "Exporting Addresses...");
        text = format == 1 ? csv_text(records) : plain_text(records);
        exported = count_of(static_cast<std::int64_t>(records.size()), "address", "addresses");
    } else {
        int lines = 0;
        text = email_list_text(selected_records(store, "Exporting Email Addresses..."), lines);
        if (lines == 0) {
            // Nothing is written, so a file of that name is left as it was.
            show_ok("None of the selected records included an email address.||No records were exported");
            return;
        }
        exported = count_of(lines, "email address", "email addresses");
    }
    const Result<void> written = write_file_atomic(path, text, 0644);
    if (!written) {
        show_ok("The addresses could not be written to|" + path + "|" + written.error().message);
        return;
    }
    if (button == 2) {
        const bool copied = file_exists(path) && !text.empty();
        if (file_exists(path)) File_to_Clipboard(path);
        delete_file(path);
        if (copied) show_ok(exported + " copied to the clipboard");
    } else {
        show_ok(exported + " exported to|" + path);
    }
}

// ---- import ---------------------------------------------------------------------------------------

namespace {

// Drawing the popup for every percent cost a tenth of an import; a redraw
// every 30 ms looks the same. A job still running after a moment gets the
// popup; one over sooner (a few cards) would only flash it, and saving and
// restoring the screen for it cost more than the cards. Once shown, the
// last step always draws.
class PopupImportSteps : public ImportSteps {
public:
    PopupImportSteps() : m_start(platform().tick_ms()) {}
    void update(long long done, long long total) override {
        const std::uint64_t now = platform().tick_ms();
        if (!m_drawn && now - m_start < kQuietMs) return;
        if (m_drawn && done < total && now - m_last < 30) return;
        m_drawn = true;
        m_last = now;
        UpdateProgress("Importing Addresses...", "", done, total);
    }
    bool keep_going() override { return !main_window().quit_requested; }

private:
    static constexpr std::uint64_t kQuietMs = 100;
    std::uint64_t m_start;
    bool m_drawn = false;
    std::uint64_t m_last = 0;
};

}  // namespace

bool import_vcard_file(AddressStore& store, const std::string& path, std::int32_t& last_id) {
    Result<std::string> bytes = read_whole_file(path);
    if (!bytes) {
        show_ok("Error Opening File");
        return false;
    }
    OpenProgress();
    PopupImportSteps steps;
    const std::size_t cards = import_vcard_bytes(store, std::move(bytes.value()), steps, last_id);
    CloseProgress();
    return cards > 0;
}

bool import_csv_file(AddressStore& store, const std::string& path, std::int32_t& last_id) {
    Result<std::string> bytes = read_whole_file(path);
    if (!bytes) {
        show_ok("Error Opening File");
        return false;
    }
    CsvImportText text;
    if (!read_csv_import(bytes.value(), text)) {
        show_ok("No text in file");
        return false;
    }
    FieldMapping mapping{};
    if (!run_mapping_form(text.header, text.header_line, mapping)) return false;
    OpenProgress();
    PopupImportSteps steps;
    const CsvImportCount count = import_csv_text(store, text, mapping, steps, last_id);
    CloseProgress();
    if (count.skipped > 0) show_ok(skipped_lines_message(count.skipped));
    return true;
}

void import_addresses(AddressStore& store) {
    int button = 0, format = 0;
    ShowChoice("Import Addresses", "Business Card Format (vcard/vcf)|Comma Separated Values (csv)", "File|Clipboard|Cancel",
               button, format);
    if (button != 1 && button != 2) return;
    std::string path;
    const std::string scratch = app_paths().scratch_file;
    if (button == 1) {
        std::string folder = folder_exists(settings().import_path) ? settings().import_path : std::string();
        std::string name;
        int result = 0;
        BrowseForFile("Import Addresses", folder, name, result);
        if (result == 1 && !name.empty() && file_exists(folder + name)) {
            path = folder + name;
            // The settings file is flushed to the disk when saved: not again for the same folder.
            if (settings().import_path != folder) {
                settings().import_path = folder;
                save_settings();
            }
        }
    } else {
        delete_file(scratch);  // never import what an earlier run left there
        const std::string text = platform().clipboard_text();
        if (text.empty()) {
            show_ok("No text on the clipboard!");
            // The update server may name a page on copying contacts; without one, nothing opens.
            const std::string help_page = update_field("webroot");
            if (!help_page.empty()) open_web_page(help_page);
        } else {
            // Written as UTF-8, which the importers recognise and read back exactly.
            // It is read back at once and removed: no need to wait for the disk.
            (void)write_scratch_file(scratch, cp1252_to_utf8(text));
        }
        status_log_write("Clipboard To File: " + log_number(static_cast<std::int64_t>(text.size())));
        if (file_exists(scratch)) path = scratch;
    }
    if (path.empty()) {
        show_ok("No File Selected");
        return;
    }
    const std::size_t size_before = store.size();
    std::int32_t last_id = 0;
    const bool imported = format == 0 ? import_vcard_file(store, path, last_id) : import_csv_file(store, path, last_id);
    if (path == scratch) delete_file(scratch);
    if (!imported) return;
    if (store.size() == size_before) {
        show_ok("No Addresses Found");
        return;
    }
    (void)sort_addresses(store);
    store.set_current(0);
    set_current_by_id(store, last_id);
    select_only(store, store.current());
}

}  // namespace domora
