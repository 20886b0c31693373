#include "app/text.h"

#include <algorithm>
#include <limits>

namespace domora {

unsigned char upper_byte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);  // à..þ, not ÷
    switch (c) {
        case 0x9A: return 0x8A;  // š Š
        case 0x9C: return 0x8C;  // œ Œ
        case 0x9E: return 0x8E;  // ž Ž
        case 0xFF: return 0x9F;  // ÿ Ÿ
        default: return c;
    }
}

unsigned char lower_byte(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);  // À..Þ, not ×
    switch (c) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: return c;
    }
}

static std::array<unsigned char, 256> table_of(unsigned char (*map)(unsigned char)) {
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i) table[static_cast<std::size_t>(i)] = map(static_cast<unsigned char>(i));
    return table;
}

const std::array<unsigned char, 256>& upper_bytes() {
    static const auto table = table_of(upper_byte);
    return table;
}

const std::array<unsigned char, 256>& lower_bytes() {
    static const auto table = table_of(lower_byte);
    return table;
}

void upper_in_place(std::string& text) {
    const auto& upper = upper_bytes();
    for (char& c : text) c = static_cast<char>(upper[static_cast<unsigned char>(c)]);
}

void lower_in_place(std::string& text) {
    const auto& lower = lower_bytes();
    for (char& c : text) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);
}

std::string to_upper(std::string_view text) {
    std::string out(text);
    upper_in_place(out);
    return out;
}

std::string to_lower(std::string_view text) {
    std::string out(text);
    lower_in_place(out);
    return out;
}

namespace {

template <typename Fold>
int compare_folded(std::string_view a, std::string_view b, Fold fold) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = fold(static_cast<unsigned char>(a[i]));
        const int y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int compare_upper(std::string_view a, std::string_view b) { return compare_folded(a, b, upper_byte); }

int compare_lower(std::string_view a, std::string_view b) { return compare_folded(a, b, lower_byte); }

bool equal_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && compare_upper(a, b) == 0; }

int compare_bytes(std::string_view a, std::string_view b) {
    return compare_folded(a, b, [](unsigned char c) { return c; });
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
    // Built in one pass: replacing in place moves the rest of the text at
    // every match, which takes time by the square of its length.
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string_view::npos; start = at + from.size()) {
        out.append(text, start, at - start).append(to);
    }
    out.append(text, start, std::string_view::npos);
    return out;
}

std::string trim(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return std::string(text.substr(first, last - first));
}

std::string log_number(std::int64_t value) {
    std::string digits = std::to_string(value);
    return value < 0 ? digits : " " + digits;
}

std::string with_thousands(std::int64_t value) {
    // The magnitude in unsigned arithmetic, so the most negative value has one too.
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), 1, ',');
    if (value < 0) digits.insert(digits.begin(), '-');
    return digits;
}

std::string count_of(std::int64_t value, std::string_view one, std::string_view many) {
    return with_thousands(value) + " " + std::string(value == 1 ? one : many);
}

std::int32_t leading_number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), kLimit);
        ++i;
    }
    if (negative) value = -value;
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value);
}

}  // namespace domora
