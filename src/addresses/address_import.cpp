#include "addresses/address_import.h"

#include <algorithm>

#include "addresses/address_csv_layouts.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

constexpr std::size_t kMaxValue = 280;
constexpr std::size_t kMaxRecord = 4096;
constexpr std::size_t kRecordHeader = 18;
// Kept free for the " (n)" the unique-name rule may add to First, so the store
// never has to cut the record again.
constexpr std::size_t kSuffixRoom = 16;
// When a record is too long, values are cut in this order, each only as far as needed.
constexpr int kCutOrder[] = {kMisc3, kMisc2, kMisc1, kAddress2, kWebSite, kAddress1, kCountry, kCity,
                             kState, kZip, kEmail, kCellPhone, kWorkPhone, kHomePhone};

// Built in one pass: replacing in place moved the rest of the text at every
// match, so a value of many line breaks took time by the square of its length.
std::string replace_all(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size()) {
        out.append(text, start, at - start).append(to);
    }
    out.append(text, start, std::string::npos);
    return out;
}

bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// ---- text encodings ---------------------------------------------------------------------------

bool valid_utf8_with_multibyte(const std::string& bytes) {
    bool multibyte = false;
    for (std::size_t i = 0; i < bytes.size();) {
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

// ---- vCard helpers ------------------------------------------------------------------------------

std::string_view trim_view(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
}

bool has(std::string_view text, char c) { return text.find(c) != std::string_view::npos; }

// Whether text holds word (upper-case ASCII) after upper-casing: no other
// byte upper-cases to an ASCII letter, so comparing byte by byte is the same.
bool contains_upper(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) return false;
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && upper_byte(static_cast<unsigned char>(text[at + i])) == static_cast<unsigned char>(word[i])) ++i;
        if (i == word.size()) return true;
    }
    return false;
}

// Calls line(view) for each line; CR, LF and CR LF end a line, and an empty
// remainder after the last one is no line.
template <typename Line>
void for_each_physical_line(std::string_view text, Line line) {
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        if (end == text.size()) {
            if (start < end) line(text.substr(start));
            return;
        }
        line(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
}

// Whether a line being joined is quoted-printable: "QUOTED-PRINTABLE" before
// its first ':'. Only the text a join added is looked at, so a line folded
// thousands of times costs no more than its length; once the ':' is found the
// answer stands.
class QuotedPrintableWatch {
public:
    bool check(std::string_view line) {
        // Joins only add to the end: a word found stays before the first ':',
        // and a ':' once found stays the first.
        if (m_found || m_colon_found) return m_found;
        const std::size_t colon = line.find(':', m_looked);
        const std::size_t end = colon == std::string::npos ? line.size() : colon;
        // Back far enough for a word the join split in two.
        const std::size_t from = m_looked >= kWord.size() - 1 ? m_looked - (kWord.size() - 1) : 0;
        if (end > from) m_found = contains_upper(line.substr(from, end - from), kWord);
        m_looked = end;
        m_colon_found = colon != std::string::npos;
        return m_found;
    }

private:
    static constexpr std::string_view kWord = "QUOTED-PRINTABLE";
    std::size_t m_looked = 0;
    bool m_colon_found = false;
    bool m_found = false;
};

// Folded lines are joined, and so are quoted-printable soft line breaks. A
// line is handed on once the next one shows that it is complete, so the
// file is never held as a list of lines.
template <typename Line>
void for_each_logical_line(std::string_view text, Line line) {
    std::string current;
    bool have_current = false;
    bool soft_break = false;
    QuotedPrintableWatch watch;
    for_each_physical_line(text, [&](std::string_view physical) {
        if (soft_break && have_current) {
            current.append(physical);
        } else if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t') && have_current) {
            current.append(physical.substr(1));
        } else {
            if (have_current) line(std::string_view(current));
            current.assign(physical);
            have_current = true;
            watch = QuotedPrintableWatch{};
        }
        soft_break = watch.check(current) && !current.empty() && current.back() == '=';
        if (soft_break) current.pop_back();
    });
    if (have_current) line(std::string_view(current));
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// =XX escapes; an encoded line break stays a '\n' for the property to place.
std::string decode_quoted_printable(const std::string& text) {
    const std::string broken = replace_all(text, "=0D=0A", "\n");
    std::string out;
    for (std::size_t i = 0; i < broken.size(); ++i) {
        if (broken[i] == '=' && i + 2 < broken.size()) {
            const int hi = hex_value(broken[i + 1]);
            const int lo = hex_value(broken[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += broken[i];
    }
    return replace_all(replace_all(out, "\r\n", "\n"), "\r", "\n");
}

// Splits at ';' that no backslash escapes; the parts keep their escapes.
std::vector<std::string_view> split_unescaped(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        } else if (text[i] == ';') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The vCard escapes: \n and \N give a line break ('\n'), \, \; \\ \: and \"
// (as Gmail and Apple write it) their character.
std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        if (next == 'n' || next == 'N') {
            out += '\n';
        } else if (next == ',' || next == ';' || next == '\\' || next == ':' || next == '"') {
            out += next;
        } else {
            out += '\\';
            out += next;
        }
    }
    return out;
}

// The lines of a value, each trimmed, empty ones kept.
std::vector<std::string> value_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(trim(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
        if (end == std::string_view::npos) return lines;
        start = end + 1;
    }
}

// The non-empty lines joined by ", "; a field holds one line.
std::string join_lines(const std::vector<std::string>& lines, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        if (!out.empty()) out += ", ";
        out += lines[i];
    }
    return out;
}

// Most values are one line: then joining the trimmed lines is trimming.
std::string flat(std::string_view text) {
    if (!has(text, '\n')) return std::string(trim_view(text));
    return join_lines(value_lines(text));
}

// A value as a field takes it: unescaped, on one line, trimmed.
std::string text_of(std::string_view raw) {
    if (!has(raw, '\\') && !has(raw, '\n')) return std::string(trim_view(raw));
    return trim(flat(unescape(raw)));
}

std::string part(const std::vector<std::string_view>& parts, std::size_t i) {
    return i < parts.size() ? text_of(parts[i]) : std::string();
}

// Number clean-up shared by reading a TEL line and finishing a card.
std::string strip_phone(std::string number) {
    if (number.rfind("+1", 0) == 0) number = number.substr(2);
    std::size_t first = number.find_first_not_of("- ");
    if (first == std::string::npos) return {};
    number = number.substr(first);
    while (!number.empty() && (number.back() == '-' || number.back() == ' ')) number.pop_back();
    return number;
}

struct Card {
    AddressFields fields;
    std::string notes;
    // Which phone fields an untyped number filled: a typed one may replace it.
    std::array<bool, 3> untyped_phone{};

    // Empty again, keeping the room the values took.
    void clear() {
        for (std::string& f : fields) f.clear();
        notes.clear();
        untyped_phone = {};
    }
};

void finish_card(Card& card, VcardCards& cards) {
    AddressFields& f = card.fields;
    for (int phone : {kHomePhone, kWorkPhone, kCellPhone}) f[static_cast<std::size_t>(phone)] = strip_phone(f[static_cast<std::size_t>(phone)]);
    if (has(f[kWebSite], '\\')) f[kWebSite] = replace_all(replace_all(f[kWebSite], "\\:", ":"), "\\,", ",");
    if (has(card.notes, '\\')) card.notes = replace_all(replace_all(replace_all(card.notes, "\\,", ","), "\\:", ":"), "\\;", ";");
    const std::string_view notes(card.notes);
    // One note line a field; what does not fit in three joins the third, so
    // nothing of a longer note is lost.
    std::size_t start = 0;
    for (int misc = kMisc1; misc <= kMisc3; ++misc) f[static_cast<std::size_t>(misc)].clear();
    for (int misc = kMisc1; misc < kMisc3 && start < notes.size(); ++misc) {
        const std::size_t bar = std::min(notes.find('|', start), notes.size());
        f[static_cast<std::size_t>(misc)].assign(trim_view(notes.substr(start, bar - start)));
        start = bar + 1;
    }
    std::string& rest = f[kMisc3];
    while (start < notes.size()) {
        const std::size_t bar = std::min(notes.find('|', start), notes.size());
        const std::string_view line = trim_view(notes.substr(start, bar - start));
        if (!line.empty()) {
            if (!rest.empty()) rest += ", ";
            rest.append(line);
        }
        start = bar + 1;
    }
    fit_to_record(f);
    cards.add(f);
}

// One content line: [group.]name[;param...]:value. Parameter values may be
// quoted and hold ':' or ';' there. Reused from line to line, so its texts
// keep their room.
struct Property {
    std::string key;         // the name, upper case, without its group
    std::string types;       // the type list, upper case: bare parameters, TYPE values, PREF
    bool typed = false;      // parameters and a ':' after them
    bool uri = false;        // VALUE=uri
    std::string encoding;    // ENCODING, upper case
    std::string charset;     // CHARSET, upper case
    std::string_view content;  // the raw value, within the line
};

std::string_view unquoted(std::string_view text) {
    text = trim_view(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return text;
}

void assign_upper(std::string& out, std::string_view text) {
    out.assign(text);
    for (char& c : out) c = static_cast<char>(upper_byte(static_cast<unsigned char>(c)));
}

bool read_property(std::string_view line, Property& p) {
    const std::size_t cut = line.find_first_of(":;");
    if (cut == std::string_view::npos) return false;
    std::string_view name = line.substr(0, cut);
    // A group ("item1.", "WORK.") only ties properties together.
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(dot + 1);
    assign_upper(p.key, trim_view(name));
    p.types.clear();
    p.typed = false;
    p.uri = false;
    p.encoding.clear();
    p.charset.clear();
    if (line[cut] == ':') {
        p.content = line.substr(cut + 1);
        return true;
    }
    std::vector<std::string_view> params;
    bool quoted = false;
    std::size_t i = cut + 1;
    std::size_t start = i;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') quoted = !quoted;
        if (!quoted && c == ':') break;
        if (!quoted && c == ';') {
            params.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    params.push_back(line.substr(start, i - start));
    p.typed = i < line.size();
    p.content = p.typed ? line.substr(i + 1) : std::string_view();
    std::string pname, pvalue;
    for (const std::string_view param : params) {
        const std::size_t equals = param.find('=');
        assign_upper(pname, trim_view(param.substr(0, equals)));
        if (equals == std::string_view::npos) {
            pvalue.clear();
        } else {
            assign_upper(pvalue, unquoted(param.substr(equals + 1)));
        }
        if (equals == std::string_view::npos) {
            if (pname == "QUOTED-PRINTABLE" || pname == "BASE64" || pname == "8BIT") p.encoding = pname;
            else if (!pname.empty()) p.types.append(pname).append(",");
        } else if (pname == "TYPE") {
            p.types.append(pvalue).append(",");
        } else if (pname == "PREF") {
            p.types += "PREF,";
        } else if (pname == "ENCODING") {
            p.encoding = pvalue;
        } else if (pname == "CHARSET") {
            p.charset = pvalue;
        } else if (pname == "VALUE") {
            p.uri = pvalue == "URI";
        }
    }
    return true;
}

// A type list that names no kind of number: none, or only VOICE, MSG and PREF.
bool untyped_number(const std::string& types) {
    std::size_t start = 0;
    while (start < types.size()) {
        const std::size_t comma = std::min(types.find(',', start), types.size());
        const std::string type = types.substr(start, comma - start);
        if (!type.empty() && type != "VOICE" && type != "MSG" && type != "PREF") return false;
        start = comma + 1;
    }
    return true;
}

// A tel: address as people write a number: the scheme goes, an extension
// stays readable as " x102", other parameters go.
std::string readable_tel(std::string number) {
    if (number.size() >= 4 && equal_nocase(number.substr(0, 4), "tel:")) number = number.substr(4);
    const std::size_t semicolon = number.find(';');
    if (semicolon == std::string::npos) return number;
    std::string out = number.substr(0, semicolon);
    for (std::size_t start = semicolon + 1; start < number.size();) {
        const std::size_t end = std::min(number.find(';', start), number.size());
        const std::string param = number.substr(start, end - start);
        if (param.size() > 4 && equal_nocase(param.substr(0, 4), "ext=")) out += " x" + param.substr(4);
        start = end + 1;
    }
    return out;
}

const char* const kOtherMailSchemes[] = {"X400", "AOL", "APPLELINK", "ATTMAIL", "CIS", "EWORLD",
                                         "IBMMAIL", "MCIMAIL", "POWERSHARE", "PRODIGY", "TLX"};

}  // namespace

// ---- encodings ----------------------------------------------------------------------------------

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

namespace {

// The keyword rules, for headers of no known exporter.
FieldMapping keyword_map(const std::vector<std::string>& header) {
    FieldMapping map{};
    std::vector<std::string> columns;
    for (const std::string& h : header) columns.push_back(to_lower(h));
    auto first_match = [&](auto test) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (test(columns[c], static_cast<int>(c) + 1)) return static_cast<int>(c) + 1;
        }
        return 0;
    };
    map[kFirst] = first_match([](const std::string& t, int) { return contains(t, "first"); });
    map[kLast] = first_match([](const std::string& t, int) { return contains(t, "last"); });
    map[kCompany] = first_match([](const std::string& t, int) {
        return (contains(t, "organization") || contains(t, "company") || contains(t, "business")) && !contains(t, "phone") &&
               !contains(t, "address");
    });
    // An e-mail column is never a street address; a mailing address is one.
    auto is_email = [](const std::string& t) { return contains(t, "mail") && !contains(t, "mailing"); };
    map[kAddress1] = first_match([&](const std::string& t, int) { return (contains(t, "street") || contains(t, "addr")) && !is_email(t); });
    const int address1 = map[kAddress1];
    map[kAddress2] = first_match([&](const std::string& t, int c) { return contains(t, "addr") && !is_email(t) && c != address1; });
    map[kCity] = first_match([](const std::string& t, int) { return contains(t, "city"); });
    map[kState] = first_match([](const std::string& t, int) { return contains(t, "state"); });
    map[kZip] = first_match([](const std::string& t, int) { return contains(t, "zip") || contains(t, "code"); });
    map[kCountry] = first_match([](const std::string& t, int) { return contains(t, "country"); });
    map[kHomePhone] = first_match([](const std::string& t, int) { return contains(t, "home") && contains(t, "phone"); });
    map[kWorkPhone] = first_match([](const std::string& t, int) { return (contains(t, "business") || contains(t, "work")) && contains(t, "phone"); });
    map[kCellPhone] = first_match([](const std::string& t, int) { return contains(t, "cell") || contains(t, "mobile"); });
    if (map[kHomePhone] == 0) map[kHomePhone] = first_match([](const std::string& t, int) { return contains(t, "phone"); });
    map[kEmail] = first_match([](const std::string& t, int) { return contains(t, "mail") && !contains(t, "mailing"); });
    map[kWebSite] = first_match([](const std::string& t, int) { return contains(t, "web"); });
    map[kMisc1] = first_match([](const std::string& t, int) { return contains(t, "misc 1"); });
    map[kMisc2] = first_match([](const std::string& t, int) { return contains(t, "misc 2"); });
    map[kMisc3] = first_match([](const std::string& t, int) { return contains(t, "misc 3"); });
    return map;
}

}  // namespace

FieldMapping auto_map(const std::vector<std::string>& header, const std::string& header_line) {
    status_log_write("Field Mapping: " + log_number(static_cast<std::int64_t>(header.size())) + " - " + header_line);
    FieldMapping map{};
    if (known_layout_map(header, map)) return map;
    return keyword_map(header);
}

bool is_header_line(const std::vector<std::string>& fields) {
    FieldMapping map{};
    if (known_layout_map(fields, map)) return true;
    // An e-mail address in line 0 is data, however its words read.
    std::vector<std::string> names;
    for (const std::string& f : fields) names.push_back(f.find('@') == std::string::npos ? f : std::string());
    map = keyword_map(names);
    return std::any_of(map.begin(), map.end(), [](int column) { return column > 0; });
}

AddressFields mapped_record(const std::vector<std::string>& fields, const FieldMapping& mapping, const CsvColumns& columns) {
    AddressFields record;
    for (int i = 0; i < kAddressFieldCount; ++i) {
        const int column = mapping[static_cast<std::size_t>(i)];
        if (column > 0 && column <= static_cast<int>(fields.size())) record[static_cast<std::size_t>(i)] = fields[static_cast<std::size_t>(column - 1)];
    }
    apply_columns(fields, mapping, columns, record);
    fit_to_record(record);
    return record;
}

// ---- vCard -------------------------------------------------------------------------------------------

void VcardCards::add(const AddressFields& fields) {
    for (const std::string& value : fields) m_bytes.append(value).append(1, '\0');
    ++m_count;
}

bool VcardCards::next(std::size_t& at, AddressFields& fields) const {
    if (at >= m_bytes.size()) return false;
    for (std::string& value : fields) {
        const std::size_t zero = m_bytes.find('\0', at);
        value.assign(m_bytes, at, zero - at);
        at = zero + 1;
    }
    return true;
}

VcardCards read_vcards(std::string_view text) {
    VcardCards cards;
    Card card;
    bool in_card = false;
    // The lines of a card reach the log in one write: the same text, far
    // fewer writes on a long import.
    std::string pending_log;
    auto flush_log = [&pending_log] {
        if (pending_log.empty()) return;
        status_log_write(std::string_view(pending_log).substr(0, pending_log.size() - 2));  // the writer ends the entry itself
        pending_log.clear();
    };
    Property p;
    std::string content;
    for_each_logical_line(text, [&](std::string_view logical) {
        const std::string_view line = trim_view(logical);
        pending_log.append(line).append("\r\n");
        if (!read_property(line, p)) return;
        const std::string& key = p.key;
        const std::string& types = p.types;
        const bool typed = p.typed;
        content.assign(trim_view(p.content));
        if (p.encoding == "QUOTED-PRINTABLE") {
            content = decode_quoted_printable(content);
            if (p.charset.empty() || p.charset == "UTF-8") {
                if (valid_utf8_with_multibyte(content)) content = utf8_to_cp1252(content);
            }
        } else if (content.find("=0D=0A") != std::string::npos) {
            content = replace_all(content, "=0D=0A", "\n");
        }
        AddressFields& f = card.fields;
        if (key == "BEGIN") {
            card.clear();
            in_card = true;
        } else if (key == "END") {
            flush_log();
            if (in_card) finish_card(card, cards);
            in_card = false;
            card.clear();
        } else if (key == "BDAY") {
            const std::string date = flat(content);
            if (!date.empty()) card.notes.append("Birthdate: ").append(date).append("|");
        } else if (key == "NOTE") {
            // Each line of the note is a line of its own in the Misc fields.
            std::string note = trim(unescape(content));
            std::replace(note.begin(), note.end(), '\n', '|');
            card.notes.append(note).append("|");
        } else if (key == "URL") {
            // A later address replaces an earlier one.
            std::string url = flat(content);
            if (!url.empty()) f[kWebSite] = std::move(url);
        } else if (key == "EMAIL") {
            bool internet = !typed || contains(types, "INTERNET");
            if (!internet) {
                bool other_scheme = false;
                for (const char* scheme : kOtherMailSchemes) other_scheme = other_scheme || contains(types, scheme);
                internet = !other_scheme;
            }
            std::string address = text_of(content);
            if (internet && !address.empty() && (f[kEmail].empty() || contains(types, "PREF"))) f[kEmail] = std::move(address);
        } else if (key == "TEL") {
            if (contains(types, "FAX") || contains(types, "PAGER") || contains(types, "BBS")) return;
            std::string number = text_of(content);
            const bool tel_uri = number.size() >= 4 && equal_nocase(std::string_view(number).substr(0, 4), "tel:");
            if (p.uri || tel_uri) number = readable_tel(number);
            if (number.size() >= 3 && equal_nocase(std::string_view(number).substr(0, 3), "tel")) number.erase(0, 3);
            number.erase(0, number.find_first_not_of(":;"));
            if (number.rfind("+1", 0) == 0) number.erase(0, 2);
            number.erase(0, std::min(number.size(), number.find_first_not_of("- ")));
            int target = -1;
            if (contains(types, "WORK")) target = kWorkPhone;
            else if (contains(types, "CELL")) target = kCellPhone;
            else if (contains(types, "HOME")) target = kHomePhone;
            // An untyped number fills an empty Home Phone only; a typed one
            // replaces an untyped one, and a preferred one any other.
            const bool untyped = target < 0 && untyped_number(types);
            if (untyped) target = kHomePhone;
            if (target < 0 || number.empty()) return;
            const auto slot = static_cast<std::size_t>(target);
            bool& was_untyped = card.untyped_phone[slot - kHomePhone];
            const bool take = f[slot].empty() || (!untyped && (was_untyped || contains(types, "PREF")));
            if (!take) return;
            f[slot] = std::move(number);
            was_untyped = untyped;
        } else if (key == "FN") {
            if (f[kFirst].empty()) f[kFirst] = text_of(content);
        } else if (key == "N") {
            const std::vector<std::string_view> parts = split_unescaped(content);
            f[kLast] = part(parts, 0);
            f[kFirst] = part(parts, 1);
            const std::string middle = part(parts, 2);
            if (!middle.empty()) f[kFirst].append(" ").append(middle);
        } else if (key == "ORG") {
            f[kCompany] = part(split_unescaped(content), 0);
        } else if (key == "ADR") {
            const bool take = f[kAddress1].empty() || contains(types, "PREF") || contains(types, "HOME");
            if (!take) return;
            const std::vector<std::string_view> parts = split_unescaped(content);
            // A street over several lines: the first is Address 1, the others
            // join the post office box and extended address in Address 2.
            std::vector<std::string> street;
            for (const std::string& l : value_lines(parts.size() > 2 ? unescape(parts[2]) : std::string())) {
                if (!l.empty()) street.push_back(l);
            }
            f[kAddress1] = street.empty() ? std::string() : street[0];
            f[kAddress2] = join_lines({trim(part(parts, 0) + " " + part(parts, 1)), join_lines(street, 1)});
            f[kCity] = part(parts, 3);
            f[kState] = part(parts, 4);
            f[kZip] = part(parts, 5);
            f[kCountry] = part(parts, 6);
        }
    });
    flush_log();
    return cards;
}

std::vector<AddressFields> parse_vcards(const std::string& text) {
    const VcardCards cards = read_vcards(text);
    std::vector<AddressFields> out(cards.size());
    std::size_t at = 0;
    for (AddressFields& fields : out) cards.next(at, fields);
    return out;
}

// ---- both ------------------------------------------------------------------------------------------

void fit_to_record(AddressFields& fields) {
    std::size_t total = kRecordHeader;
    for (std::string& value : fields) {
        if (value.size() > kMaxValue) value.resize(kMaxValue);
        for (char& c : value) {
            if (c == '\0') c = ' ';  // a zero byte ends a value in the file
        }
        total += value.size() + 1;
    }
    // The values that matter least give way first; a name or company is never
    // cut, as three values at most kMaxValue long always fit.
    static_assert(kRecordHeader + kAddressFieldCount + 3 * kMaxValue + kSuffixRoom <= kMaxRecord);
    for (int field : kCutOrder) {
        if (total + kSuffixRoom <= kMaxRecord) break;
        std::string& value = fields[static_cast<std::size_t>(field)];
        const std::size_t cut = std::min(value.size(), total + kSuffixRoom - kMaxRecord);
        value.resize(value.size() - cut);
        total -= cut;
    }
}

void log_imported_record(const AddressFields& f) {
    static constexpr std::pair<const char*, int> kLines[] = {
        {"First: ", kFirst},         {"Last: ", kLast},           {"Company: ", kCompany},     {"Address 1: ", kAddress1},
        {"Address 2: ", kAddress2},  {"City: ", kCity},           {"State: ", kState},         {"Zip: ", kZip},
        {"Country: ", kCountry},     {"Email: ", kEmail},         {"Web Site: ", kWebSite},    {"Home Phone: ", kHomePhone},
        {"Work Phone: ", kWorkPhone}, {"Cell Phone: ", kCellPhone}, {"Misc 1: ", kMisc1},        {"Misc 2: ", kMisc2},
        {"Misc 3: ", kMisc3},
    };
    std::size_t bytes = 32;
    for (const std::string& value : f) bytes += value.size() + 16;
    std::string entries;
    entries.reserve(bytes);
    entries += "\r\n";  // an empty entry first
    for (const auto& [label, field] : kLines) entries.append(label).append(f[static_cast<std::size_t>(field)]).append("\r\n");
    entries += "\r\n=======================\r\n";
    status_log_write(entries);  // one write, the same lines
}

}  // namespace domora
