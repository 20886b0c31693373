// The print settings of each print layout: a binary record kept byte for
// byte as the layout's settings value, so its layout is a stored format.
// Lengths are thousandths of an inch; little-endian.
//   0  u32 total length (400 + device mode)   4 reserved
//   8  i32 horizontal position   12 i32 vertical position   16 i32 font size, points
//   21 u8 draw outlines          22 i16 orientation (1 portrait, 2 landscape)
//   24 i32 card width  28 i32 card height  32 i32 cards across  36 i32 cards down
//   42 u8 paper code   44 i32 horizontal spacing  48 i32 vertical spacing
//   52 i32 paper width 56 i32 paper height (both derived)
//   60/64/68/72 i32 left/right/top/bottom margin inside a card
//   76 u8 copies       77 u8 index headings
//   100 printer name, 200 bytes zero-terminated
//   300 font description, 60 bytes in the layout of LOGFONTA: height at 300,
//       weight at 316, face name at 328 (32 bytes)
//   400 the printer's device mode (device_mode.h)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace domora {

inline constexpr std::size_t kPrintSettingsSize = 400;

enum PrintLayoutId {
    kLayoutEnvelope10 = 1,
    kLayoutEnvelope6 = 2,
    kLayoutEnvelopeDl = 3,
    kLayoutEnvelopeC5 = 4,
    kLayoutLabel5160 = 20,
    kLayoutLabel5161 = 21,
    kLayoutLabel5163 = 22,
    kLayoutLabel5167 = 23,
    kLayoutLabel7160 = 24,
    kLayoutLabel7162 = 25,
    kLayoutLabel7165 = 26,
    kLayoutLabel8173 = 27,
    kLayoutAddressBook = 40,
    kLayoutDaytimer = 41,
    kLayoutMemberList = 60,
    kLayoutVehicleRecords = 80,
};

struct PrintLayout {
    int id;
    const char* name;
};
// Every layout in the order the address print offers them, vehicle records last.
const std::vector<PrintLayout>& print_layouts();
std::string print_layout_name(int layout_id);
// The settings value that keeps the layout's record; null for unknown ids.
std::string* print_settings_value(int layout_id);

// Paper size in thousandths of an inch, portrait; unknown codes are Letter.
void paper_size(int paper, int& width, int& height);

class PrintSettings {
public:
    PrintSettings();
    const std::string& bytes() const { return m_bytes; }
    // Takes a stored value when its length fields agree with its size.
    bool assign(std::string_view bytes);

    std::int32_t horizontal_position() const { return i32(8); }
    void set_horizontal_position(std::int32_t v) { set_i32(8, v); }
    std::int32_t vertical_position() const { return i32(12); }
    void set_vertical_position(std::int32_t v) { set_i32(12, v); }
    std::int32_t font_size() const { return i32(16); }
    void set_font_size(std::int32_t v) { set_i32(16, v); }
    bool outlines() const { return u8(21) != 0; }
    void set_outlines(bool v) { set_u8(21, v ? 1 : 0); }
    int orientation() const { return i16(22); }
    void set_orientation(int v) { set_i16(22, v); }
    std::int32_t card_width() const { return i32(24); }
    void set_card_width(std::int32_t v) { set_i32(24, v); }
    std::int32_t card_height() const { return i32(28); }
    void set_card_height(std::int32_t v) { set_i32(28, v); }
    std::int32_t horz_count() const { return i32(32); }
    void set_horz_count(std::int32_t v) { set_i32(32, v); }
    std::int32_t vert_count() const { return i32(36); }
    void set_vert_count(std::int32_t v) { set_i32(36, v); }
    int paper() const { return u8(42); }
    void set_paper(int v) { set_u8(42, v); }
    std::int32_t horz_spacing() const { return i32(44); }
    void set_horz_spacing(std::int32_t v) { set_i32(44, v); }
    std::int32_t vert_spacing() const { return i32(48); }
    void set_vert_spacing(std::int32_t v) { set_i32(48, v); }
    std::int32_t paper_width() const { return i32(52); }
    std::int32_t paper_height() const { return i32(56); }
    void set_paper_dimensions(std::int32_t w, std::int32_t h) {
        set_i32(52, w);
        set_i32(56, h);
    }
    std::int32_t left_margin() const { return i32(60); }
    std::int32_t right_margin() const { return i32(64); }
    std::int32_t top_margin() const { return i32(68); }
    std::int32_t bottom_margin() const { return i32(72); }
    void set_margins(std::int32_t l, std::int32_t r, std::int32_t t, std::int32_t b) {
        set_i32(60, l);
        set_i32(64, r);
        set_i32(68, t);
        set_i32(72, b);
    }
    void set_margin(int which, std::int32_t v) { set_i32(60 + 4 * static_cast<std::size_t>(which), v); }
    int copies() const { return u8(76); }
    void set_copies(int v) { set_u8(76, v); }
    int index_headings() const { return u8(77); }
    void set_index_headings(int v) { set_u8(77, v); }

    std::string printer() const { return text(100, 200); }
    void set_printer(std::string_view name) { set_text(100, 200, name); }
    std::int32_t font_height_field() const { return i32(300); }
    std::string face() const { return text(328, 32); }
    // The font description: height = size, weight 400, the face; the rest 0.
    void set_font(std::int32_t size, std::string_view face);
    void set_face(std::string_view face) { set_text(328, 32, face); }

    std::string device_mode() const { return m_bytes.substr(kPrintSettingsSize); }
    void set_device_mode(std::string_view devmode);

    std::int32_t i32(std::size_t at) const;
    void set_i32(std::size_t at, std::int32_t v);

private:
    std::string m_bytes;
    int i16(std::size_t at) const;
    void set_i16(std::size_t at, int v);
    int u8(std::size_t at) const { return static_cast<unsigned char>(m_bytes[at]); }
    void set_u8(std::size_t at, int v) { m_bytes[at] = static_cast<char>(v & 0xFF); }
    std::string text(std::size_t at, std::size_t size) const;
    void set_text(std::size_t at, std::size_t size, std::string_view value);
};

// The layout's defaults with the current default printer, validated.
PrintSettings default_print_settings(int layout_id);
// The record kept in the settings value; an empty or damaged value gives the defaults.
PrintSettings load_print_settings(int layout_id, const std::string& value);
// Keeps the record in the layout's settings value and saves the settings.
void store_print_settings(int layout_id, const PrintSettings& record);
// Replaces a record whose printer is gone by the defaults, brings the device
// mode and the paper size in line with the record and keeps the counts in range.
void validate_print_settings(int layout_id, PrintSettings& record);

// The installed printers with "Save as PDF" after them.
std::vector<std::string> installed_printers();
// The printer a new record starts with: CUPS' default destination, else the
// first printer CUPS lists, else "Save as PDF".
std::string effective_default_printer();

}  // namespace domora
