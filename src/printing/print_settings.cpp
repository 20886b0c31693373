#include "printing/print_settings.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/device_mode.h"

namespace domora {

// ---- layouts -------------------------------------------------------------------------------------

const std::vector<PrintLayout>& print_layouts() {
    static const std::vector<PrintLayout> layouts = {
        {40, "Address Book"},
        {60, "Member Address List"},
        {41, "Daytimer Address Book"},
        {20, "Labels - Avery 5160 (2-5/8\" x 1\")"},
        {21, "Labels - Avery 5161 (4\" x 1\")"},
        {22, "Labels - Avery 5163 (4\" x 2\")"},
        {23, "Labels - Avery 5167 (1-3/4\" x 1/2\")"},
        {24, "Labels - Avery 7160 (63.5mm x 38.1mm)"},
        {25, "Labels - Avery 7162 (99.1mm x 33.9mm)"},
        {26, "Labels - Avery 7165 (99.1mm x 68.7mm)"},
        {27, "Labels - Avery 8173 (99.1mm x 57mm)"},
        {1, "Envelopes - #10"},
        {2, "Envelopes - #6"},
        {3, "Envelopes - DL"},
        {4, "Envelopes - C5"},
        {80, "Vehicle Records"},
    };
    return layouts;
}

std::string print_layout_name(int layout_id) {
    for (const PrintLayout& l : print_layouts()) {
        if (l.id == layout_id) return l.name;
    }
    return {};
}

std::string* print_settings_value(int layout_id) {
    Settings& s = settings();
    switch (layout_id) {
        case 1: return &s.envelope_10;
        case 2: return &s.envelope_6;
        case 3: return &s.envelope_dl;
        case 4: return &s.envelope_c5;
        case 20: return &s.label_5160;
        case 21: return &s.label_5161;
        case 22: return &s.label_5163;
        case 23: return &s.label_5167;
        case 24: return &s.label_7160;
        case 25: return &s.label_7162;
        case 26: return &s.label_7165;
        case 27: return &s.label_8173;
        case 40: return &s.address_book;
        case 41: return &s.daytimer;
        case 60: return &s.member_list;
        case 80: return &s.vehicle_records;
        default: return nullptr;
    }
}

void paper_size(int paper, int& width, int& height) {
    switch (paper) {
        case 5: width = 8500; height = 14000; return;
        case 6: width = 5500; height = 8500; return;
        case 9: width = 8270; height = 11690; return;
        case 11: width = 5820; height = 8260; return;
        default: width = 8500; height = 11000; return;
    }
}

// ---- the record ------------------------------------------------------------------------------------

PrintSettings::PrintSettings() : m_bytes(kPrintSettingsSize, '\0') { set_i32(0, static_cast<std::int32_t>(kPrintSettingsSize)); }

bool PrintSettings::assign(std::string_view bytes) {
    if (bytes.size() < kPrintSettingsSize) return false;
    const auto total = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8) |
                                                  (static_cast<unsigned char>(bytes[2]) << 16) |
                                                  (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24));
    if (total != bytes.size()) return false;
    m_bytes.assign(bytes);
    return true;
}

std::int32_t PrintSettings::i32(std::size_t at) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(m_bytes[at + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(v);
}

void PrintSettings::set_i32(std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) m_bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int PrintSettings::i16(std::size_t at) const {
    return static_cast<std::int16_t>(static_cast<unsigned char>(m_bytes[at]) | (static_cast<unsigned char>(m_bytes[at + 1]) << 8));
}

void PrintSettings::set_i16(std::size_t at, int value) {
    const auto v = static_cast<std::uint16_t>(value);
    m_bytes[at] = static_cast<char>(v & 0xFF);
    m_bytes[at + 1] = static_cast<char>(v >> 8);
}

std::string PrintSettings::text(std::size_t at, std::size_t size) const {
    const std::string_view field(m_bytes.data() + at, size);
    return std::string(field.substr(0, std::min(size, field.find('\0'))));
}

void PrintSettings::set_text(std::size_t at, std::size_t size, std::string_view value) {
    std::fill_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(at), size, '\0');
    std::copy_n(value.begin(), std::min(value.size(), size - 1), m_bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

void PrintSettings::set_font(std::int32_t size, std::string_view face) {
    std::fill_n(m_bytes.begin() + 300, 60, '\0');
    set_i32(300, size);
    set_i32(316, 400);
    set_text(328, 32, face);
}

void PrintSettings::set_device_mode(std::string_view devmode) {
    m_bytes.resize(kPrintSettingsSize);
    m_bytes.append(devmode);
    set_i32(0, static_cast<std::int32_t>(m_bytes.size()));
}

// ---- defaults ----------------------------------------------------------------------------------------

namespace {

struct LayoutDefaults {
    int id, hpos, vpos, font, outlines, orientation, card_w, card_h, across, down, paper, hspacing, ml, mr, mt, mb, copies, index;
};

constexpr LayoutDefaults kDefaults[] = {
    {80, 0, 0, 14, 0, 1, 8500, 11000, 1, 1, 1, 0, 500, 500, 500, 500, 1, 0},
    {40, 0, 0, 14, 0, 1, 8500, 11000, 1, 1, 1, 0, 1000, 500, 500, 500, 1, 1},
    {60, 0, 0, 12, 0, 1, 8500, 11000, 1, 1, 1, 0, 500, 500, 500, 500, 1, 0},
    {41, 500, 500, 12, 1, 1, 3000, 5750, 2, 1, 1, 750, 125, 125, 125, 125, 1, 2},
    {20, 188, 500, 12, 0, 1, 2625, 1000, 3, 10, 1, 125, 125, 125, 125, 125, 1, 0},
    {21, 188, 500, 12, 0, 1, 4000, 1000, 2, 10, 1, 125, 125, 125, 125, 125, 1, 0},
    {22, 188, 500, 16, 0, 1, 4000, 2000, 2, 5, 1, 125, 125, 125, 125, 125, 1, 0},
    {23, 300, 500, 8, 0, 1, 1750, 500, 4, 20, 1, 300, 63, 63, 63, 63, 1, 0},
    {24, 285, 596, 12, 0, 1, 2500, 1500, 3, 7, 9, 98, 63, 63, 63, 63, 1, 0},
    {25, 183, 508, 12, 0, 1, 3900, 1330, 2, 8, 9, 98, 63, 63, 63, 63, 1, 0},
    {26, 183, 516, 14, 0, 1, 3900, 2665, 2, 4, 9, 98, 63, 63, 63, 63, 1, 0},
    {27, 183, 238, 14, 0, 1, 3900, 2240, 2, 5, 9, 109, 63, 63, 63, 63, 1, 0},
    {1, 1500, 2188, 14, 0, 2, 9500, 4125, 1, 1, 1, 0, 250, 250, 250, 250, 1, 0},
    {2, 4500, 2438, 14, 0, 2, 6500, 3625, 1, 1, 1, 0, 250, 250, 250, 250, 1, 0},
    {3, 3030, 1970, 14, 0, 2, 8660, 4330, 1, 1, 9, 0, 250, 250, 250, 250, 1, 0},
    {4, 2680, 950, 14, 0, 2, 9010, 6370, 1, 1, 9, 0, 250, 250, 250, 250, 1, 0},
};

// The default printer and its device mode, as the record starts out.
void fill_default_printer(PrintSettings& record) {
    PrintService& service = print_service();
    const std::string name = effective_default_printer();
    status_log_write("Default Printer Name: " + name);
    if (name.empty()) return;
    const std::string devmode = make_device_mode(name, name == kSaveAsPdf ? std::string() : service.printer_options(name));
    status_log_write("Default Printer DevSize: " + log_number(static_cast<std::int64_t>(devmode.size())));
    status_log_write("Printer Properties Result: " + log_number(1));
    record.set_device_mode(devmode);
    record.set_printer(name);
}

void validate(int layout_id, PrintSettings& record, bool may_rebuild);

PrintSettings build_defaults(int layout_id) {
    PrintSettings record;
    fill_default_printer(record);
    for (const LayoutDefaults& d : kDefaults) {
        if (d.id != layout_id) continue;
        record.set_horizontal_position(d.hpos);
        record.set_vertical_position(d.vpos);
        record.set_font_size(d.font);
        record.set_outlines(d.outlines != 0);
        record.set_orientation(d.orientation);
        record.set_card_width(d.card_w);
        record.set_card_height(d.card_h);
        record.set_horz_count(d.across);
        record.set_vert_count(d.down);
        record.set_paper(d.paper);
        record.set_horz_spacing(d.hspacing);
        record.set_vert_spacing(0);
        record.set_margins(d.ml, d.mr, d.mt, d.mb);
        record.set_copies(d.copies);
        record.set_index_headings(d.index);
    }
    // The defaults are built when the printer is gone; with no printer at
    // all they cannot find one either, so they are not rebuilt again.
    validate(layout_id, record, false);
    record.set_font(record.font_size(), "Arial");
    return record;
}

bool known_paper(int paper) {
    return paper == kPaperLetter || paper == kPaperLegal || paper == kPaperStatement || paper == kPaperA4 || paper == kPaperA5;
}

void validate(int layout_id, PrintSettings& record, bool may_rebuild) {
    if (may_rebuild) {
        const std::string wanted = to_lower(record.printer());
        bool found = false;
        for (const std::string& name : installed_printers()) found = found || to_lower(name) == wanted;
        if (!found) {
            // A printer that is gone takes its device settings with it, but
            // the paper and orientation are the user's choice, not the printer's.
            const int paper = record.paper(), orientation = record.orientation();
            record = build_defaults(layout_id);
            if (known_paper(paper)) record.set_paper(paper);
            if (orientation == kPortrait || orientation == kLandscape) record.set_orientation(orientation);
            validate(layout_id, record, false);
            return;
        }
    }
    std::string devmode = record.device_mode();
    if (!devmode.empty()) {
        set_device_mode_fields_in_use(devmode, kDmOrientation | kDmPaperSize);
        set_device_mode_field(devmode, kDmOrientationOffset, record.orientation());
        set_device_mode_field(devmode, kDmPaperSizeOffset, record.paper());
        set_device_mode_field(devmode, kDmPaperLengthOffset, 0);
        set_device_mode_field(devmode, kDmPaperWidthOffset, 0);
        record.set_device_mode(devmode);
    }
    int w = 0, h = 0;
    paper_size(record.paper(), w, h);
    if (record.orientation() == 2) std::swap(w, h);
    record.set_paper_dimensions(w, h);
    if (layout_id == 80 || layout_id == 60 || layout_id == 40) {
        record.set_card_width(w);
        record.set_card_height(h);
    }
    record.set_copies(std::clamp(record.copies(), 1, 100));
    // A sheet has at most 256 label positions (the label map); counts out of
    // that range would walk the grid without end or past the map.
    record.set_horz_count(std::clamp(record.horz_count(), 1, 256));
    record.set_vert_count(std::clamp(record.vert_count(), 1, 256 / record.horz_count()));
}

}  // namespace

PrintSettings default_print_settings(int layout_id) { return build_defaults(layout_id); }

PrintSettings load_print_settings(int layout_id, const std::string& value) {
    PrintSettings record;
    if (value.empty() || !record.assign(value)) return default_print_settings(layout_id);
    return record;
}

void store_print_settings(int layout_id, const PrintSettings& record) {
    std::string* value = print_settings_value(layout_id);
    if (!value) return;
    *value = record.bytes();
    save_settings();
}

void validate_print_settings(int layout_id, PrintSettings& record) { validate(layout_id, record, true); }

std::string effective_default_printer() {
    PrintService& service = print_service();
    std::string name = service.default_printer();
    if (!name.empty()) return name;
    // A desktop may have printers without naming one the default: the first
    // of them then, and a PDF file where there is none at all.
    const std::vector<std::string> names = service.printers();
    return names.empty() ? std::string(kSaveAsPdf) : names.front();
}

std::vector<std::string> installed_printers() {
    std::vector<std::string> names = print_service().printers();
    names.push_back(kSaveAsPdf);
    return names;
}

}  // namespace domora
