// The vCard reader of the import: folded and quoted-printable lines, the
// properties an address record keeps, and the cards as compact records.
#include <algorithm>
#include <cstring>

#include "addresses/address_import.h"
#include "addresses/import_support.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

using namespace import_detail;

namespace {

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
    const auto& upper = upper_bytes();
    for (std::size_t at = 0; at + word.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && upper[static_cast<unsigned char>(text[at + i])] == static_cast<unsigned char>(word[i])) ++i;
        if (i == word.size()) return true;
    }
    return false;
}

// Calls line(view) for each line; CR, LF and CR LF end a line, and an empty
// remainder after the last one is no line.
template <typename Line>
void for_each_physical_line(std::string_view text, Line line) {
    // Where the next CR and the next LF lie, each looked for again only once
    // passed, so a file without one of them is not searched to its end per line.
    const auto next_of = [&text](char c, std::size_t from) {
        if (from >= text.size()) return text.size();
        const void* found = std::memchr(text.data() + from, c, text.size() - from);
        return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data()) : text.size();
    };
    std::size_t next_cr = next_of('\r', 0), next_lf = next_of('\n', 0);
    std::size_t start = 0;
    for (;;) {
        if (next_cr < start) next_cr = next_of('\r', start);
        if (next_lf < start) next_lf = next_of('\n', start);
        const std::size_t end = std::min(next_cr, next_lf);
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
// file is never held as a list of lines; a line nothing joins is handed on
// as it lies in the text, uncopied.
template <typename Line>
void for_each_logical_line(std::string_view text, Line line) {
    std::string joined;
    bool is_joined = false;
    std::string_view lying;  // the current line, when nothing was joined to it
    bool have_current = false;
    bool soft_break = false;
    QuotedPrintableWatch watch;
    const auto join = [&](std::string_view more) {
        if (!is_joined) joined.assign(lying);
        is_joined = true;
        joined.append(more);
    };
    for_each_physical_line(text, [&](std::string_view physical) {
        if (soft_break && have_current) {
            join(physical);
        } else if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t') && have_current) {
            join(physical.substr(1));
        } else {
            if (have_current) line(is_joined ? std::string_view(joined) : lying);
            lying = physical;
            is_joined = false;
            have_current = true;
            watch = QuotedPrintableWatch{};
        }
        const std::string_view current = is_joined ? std::string_view(joined) : lying;
        soft_break = watch.check(current) && !current.empty() && current.back() == '=';
        if (soft_break) {
            join({});
            joined.pop_back();
        }
    });
    if (have_current) line(is_joined ? std::string_view(joined) : lying);
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
void split_unescaped(std::string_view text, std::vector<std::string_view>& parts) {
    parts.clear();
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
    // Room for reading the parameters, kept from line to line.
    std::vector<std::string_view> params;
    std::string pname, pvalue;
};

std::string_view unquoted(std::string_view text) {
    text = trim_view(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return text;
}

void assign_upper(std::string& out, std::string_view text) {
    out.assign(text);
    upper_in_place(out);
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
    std::vector<std::string_view>& params = p.params;
    params.clear();
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
    std::string& pname = p.pname;
    std::string& pvalue = p.pvalue;
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

VcardCards read_vcards(std::string_view text, bool log_lines) {
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
    std::string decoded;  // the value when decoding changed it
    std::vector<std::string_view> parts;
    for_each_logical_line(text, [&](std::string_view logical) {
        const std::string_view line = trim_view(logical);
        if (log_lines) pending_log.append(line).append("\r\n");
        if (!read_property(line, p)) return;
        const std::string& key = p.key;
        const std::string& types = p.types;
        const bool typed = p.typed;
        std::string_view content = trim_view(p.content);
        if (p.encoding == "QUOTED-PRINTABLE") {
            decoded = decode_quoted_printable(std::string(content));
            if (p.charset.empty() || p.charset == "UTF-8") {
                if (valid_utf8_with_multibyte(decoded)) decoded = utf8_to_cp1252(decoded);
            }
            content = decoded;
        } else if (content.find("=0D=0A") != std::string::npos) {
            decoded = replace_all(content, "=0D=0A", "\n");
            content = decoded;
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
            split_unescaped(content, parts);
            f[kLast] = part(parts, 0);
            f[kFirst] = part(parts, 1);
            const std::string middle = part(parts, 2);
            if (!middle.empty()) f[kFirst].append(" ").append(middle);
        } else if (key == "ORG") {
            split_unescaped(content, parts);
            f[kCompany] = part(parts, 0);
        } else if (key == "ADR") {
            const bool take = f[kAddress1].empty() || contains(types, "PREF") || contains(types, "HOME");
            if (!take) return;
            split_unescaped(content, parts);
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

}  // namespace domora
