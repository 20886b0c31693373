#include "app/csv_text.h"

#include <cstdint>
#include <cstring>

#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace {

std::string utf16_to_cp1252(const std::string& bytes, std::size_t start, bool big_endian) {
    std::string out;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        char32_t unit = big_endian ? (a << 8 | b) : (b << 8 | a);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            i += 2;  // a pair outside the code page in any case
            out += '?';
            continue;
        }
        out += unicode_to_cp1252(unit);
    }
    return out;
}

}  // namespace

// ---- encodings ----------------------------------------------------------------------------------

bool valid_utf8_with_multibyte(const std::string& bytes) {
    bool multibyte = false;
    for (std::size_t i = 0; i < bytes.size();) {
        // Plain ASCII, most of any file, eight bytes at a time.
        if (i + 8 <= bytes.size()) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080u) == 0) {
                i += 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(bytes[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2)) return false;
        if (extra > 0 && i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
        }
        multibyte = multibyte || extra > 0;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return multibyte;
}

std::string import_text(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return utf8_to_cp1252(bytes.substr(3));
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) return utf16_to_cp1252(bytes, 2, false);
    if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) return utf16_to_cp1252(bytes, 2, true);
    // UTF-16 without a mark shows as a zero in every other byte of plain text.
    if (bytes.size() >= 4 && bytes[1] == '\0' && bytes[3] == '\0' && bytes[0] != '\0') return utf16_to_cp1252(bytes, 0, false);
    if (bytes.size() >= 4 && bytes[0] == '\0' && bytes[2] == '\0' && bytes[1] != '\0') return utf16_to_cp1252(bytes, 0, true);
    if (valid_utf8_with_multibyte(bytes)) return utf8_to_cp1252(bytes);
    return bytes.substr(0, bytes.find('\0'));
}

std::string import_text(std::string&& bytes) {
    const std::string& in = bytes;
    const bool marked = (in.size() >= 3 && in.compare(0, 3, "\xEF\xBB\xBF") == 0) ||
                        (in.size() >= 2 && (in.compare(0, 2, "\xFF\xFE") == 0 || in.compare(0, 2, "\xFE\xFF") == 0));
    const bool bare_utf16 = in.size() >= 4 && ((in[1] == '\0' && in[3] == '\0' && in[0] != '\0') ||
                                               (in[0] == '\0' && in[2] == '\0' && in[1] != '\0'));
    if (marked || bare_utf16 || valid_utf8_with_multibyte(in)) return import_text(in);
    // Windows-1252 already: the bytes up to a zero are the text, no copy needed.
    const std::size_t zero = in.find('\0');
    if (zero != std::string::npos) bytes.resize(zero);
    return std::move(bytes);
}

// ---- CSV ------------------------------------------------------------------------------------------

char detect_separator(const std::string& text) {
    std::size_t commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') quoted = !quoted;  // a doubled quote toggles twice
        if (quoted) continue;
        if (c == '\r' || c == '\n') break;
        if (c == ',') ++commas;
        if (c == ';') ++semicolons;
        if (c == '\t') ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs) return ';';
    if (tabs > commas && tabs > semicolons) return '\t';
    return ',';
}

std::vector<std::string> csv_lines(const std::string& text, char separator) {
    std::vector<std::string> lines;
    std::string line;
    bool quoted = false;
    bool field_start = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!quoted && (c == '\r' || c == '\n')) {
            lines.push_back(line);
            line.clear();
            field_start = true;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            continue;
        }
        line += c;
        if (quoted) {
            if (c != '"') continue;
            // A doubled quote inside a quoted field is one quote and the field goes on.
            if (i + 1 < text.size() && text[i + 1] == '"') {
                line += text[++i];
            } else {
                quoted = false;
            }
        } else if (c == separator) {
            field_start = true;
        } else if (c == '"' && field_start) {
            quoted = true;
            field_start = false;
        } else if (c != ' ') {
            field_start = false;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<std::string> split_csv_line(const std::string& raw, char separator) {
    const std::string line = trim(raw);
    std::vector<std::string> fields;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && line[i] == ' ') ++i;
        std::string value;
        if (i < line.size() && line[i] == '"') {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        value += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += line[i++];
            }
            value = replace_all(replace_all(replace_all(value, "\r\n", ", "), "\n", ", "), "\r", ", ");
            // Whatever follows the closing quote up to the separator is not part of the value.
            while (i < line.size() && line[i] != separator) ++i;
        } else {
            while (i < line.size() && line[i] != separator) value += line[i++];
            while (!value.empty() && value.back() == ' ') value.pop_back();
        }
        fields.push_back(value);
        if (i >= line.size()) break;
        ++i;  // the separator
    }
    return fields;
}

std::string csv_quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace domora
