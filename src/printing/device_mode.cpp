#include "printing/device_mode.h"

#include <algorithm>
#include <cctype>

namespace domora {

namespace {

unsigned read_u16(std::string_view b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned>(static_cast<unsigned char>(b[at + 1])) << 8);
}

void write_u16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

// A line is a name of letters, digits and "-_." then "=" then printable ASCII.
bool options_text(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) return false;
        const std::string_view line = text.substr(pos, end - pos);
        const std::size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos) return false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (c < 32 || c > 126) return false;
            if (i < eq && !(std::isalnum(c) || c == '-' || c == '_' || c == '.')) return false;
        }
        pos = end + 1;
    }
    return true;
}

}  // namespace

std::string make_device_mode(std::string_view printer, std::string_view options) {
    std::string tail(options);
    if (!tail.empty() && tail.back() != '\n') tail += '\n';
    if (!options_text(tail)) tail.clear();
    tail += '\0';
    std::string d(kDevModePublicSize, '\0');
    std::copy_n(printer.begin(), std::min<std::size_t>(printer.size(), 31), d.begin());
    write_u16(d, 32, 0x0401);
    write_u16(d, 36, kDevModePublicSize);
    write_u16(d, 38, static_cast<unsigned>(std::min<std::size_t>(tail.size(), 0xFFFF)));
    d += tail.substr(0, 0xFFFF);
    return d;
}

bool device_mode_valid(std::string_view d) {
    if (d.size() < kDmPaperWidthOffset + 2) return false;
    const std::size_t size = read_u16(d, 36);
    const std::size_t extra = read_u16(d, 38);
    return size >= kDmPaperWidthOffset + 2 && size <= d.size() && extra <= d.size() - size;
}

std::string device_mode_options(std::string_view d) {
    if (!device_mode_valid(d)) return {};
    const std::size_t size = read_u16(d, 36);
    const std::size_t extra = read_u16(d, 38);
    std::string_view tail = d.substr(size, extra);
    if (tail.empty() || tail.back() != '\0') return {};
    tail.remove_suffix(1);
    return options_text(tail) ? std::string(tail) : std::string();
}

int device_mode_field(std::string_view d, std::size_t offset) {
    if (!device_mode_valid(d) || offset + 2 > read_u16(d, 36)) return 0;
    return static_cast<std::int16_t>(read_u16(d, offset));
}

void set_device_mode_field(std::string& d, std::size_t offset, int value) {
    if (!device_mode_valid(d) || offset + 2 > read_u16(d, 36)) return;
    write_u16(d, offset, static_cast<unsigned>(static_cast<std::uint16_t>(value)));
}

std::uint32_t device_mode_fields_in_use(std::string_view d) {
    if (!device_mode_valid(d)) return 0;
    return read_u16(d, 40) | (static_cast<std::uint32_t>(read_u16(d, 42)) << 16);
}

void set_device_mode_fields_in_use(std::string& d, std::uint32_t mask) {
    if (!device_mode_valid(d)) return;
    write_u16(d, 40, mask & 0xFFFF);
    write_u16(d, 42, mask >> 16);
}

}  // namespace domora
