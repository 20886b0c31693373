#include "sync/card_mapping.h"

#include <algorithm>
#include <optional>

#include "addresses/address_import.h"
#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace {

constexpr std::size_t kFoldAt = 75;

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// Where the value starts: after the first ':' outside a quoted parameter value.
std::size_t value_colon(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ':' && !quoted) return i;
    }
    return std::string_view::npos;
}

std::string head_of(std::string_view line) {
    const std::size_t colon = value_colon(line);
    return std::string(colon == std::string_view::npos ? line : line.substr(0, colon));
}

std::string value_of(std::string_view line) {
    const std::size_t colon = value_colon(line);
    return colon == std::string_view::npos ? std::string() : std::string(line.substr(colon + 1));
}

// The name and parameters of a line, without the parameters that described
// the old value's form (its encoding, character set, value type and label).
std::string kept_head(std::string_view head) {
    std::vector<std::string> parts;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= head.size(); ++i) {
        if (i < head.size() && head[i] == '"') quoted = !quoted;
        if (i == head.size() || (head[i] == ';' && !quoted)) {
            parts.emplace_back(head.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string out = parts.empty() ? std::string() : parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string name = ascii_upper(parts[i].substr(0, parts[i].find('=')));
        if (name == "ENCODING" || name == "CHARSET" || name == "VALUE" || name == "LABEL" || name == "QUOTED-PRINTABLE" ||
            name == "BASE64" || name == "8BIT") {
            continue;
        }
        out += ";" + parts[i];
    }
    return out;
}

ContentLine made_line(const std::string& text) {
    std::vector<ContentLine> lines = content_lines(text);
    return lines.empty() ? ContentLine{} : lines[0];
}

// The export's lines for a record.
std::vector<ContentLine> writer_lines(const AddressFields& fields, const UtcTime& stamp) {
    return content_lines(vcard_file({ExportRecord{fields, true}}, stamp));
}

const ContentLine* writer_line(const std::vector<ContentLine>& lines, const std::string& name, const char* type = nullptr) {
    for (const ContentLine& l : lines) {
        if (l.name != name) continue;
        if (type && ascii_upper(head_of(l.value)).find(type) == std::string::npos) continue;
        return &l;
    }
    return nullptr;
}

// The card being patched: its lines, and what the import reads from each of them alone.
class Card {
public:
    explicit Card(std::string_view text) : m_lines(content_lines(text)), m_alone(m_lines.size()) {}

    std::vector<ContentLine>& lines() { return m_lines; }
    const AddressFields& alone(std::size_t i) {
        if (!m_alone[i]) m_alone[i] = card_fields("BEGIN:VCARD\r\n" + m_lines[i].value + "\r\nEND:VCARD\r\n");
        return *m_alone[i];
    }
    // Lines with this name, in order.
    std::vector<std::size_t> named(const std::string& name) const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].name == name) out.push_back(i);
        }
        return out;
    }
    // The line of this name that alone gives the card its values of these fields.
    std::optional<std::size_t> source(const std::string& name, const AddressFields& whole, std::initializer_list<int> fields, bool last) {
        std::optional<std::size_t> found;
        bool any_value = false;
        for (const int f : fields) any_value = any_value || !whole[static_cast<std::size_t>(f)].empty();
        if (!any_value) return std::nullopt;
        for (const std::size_t i : named(name)) {
            const AddressFields& mine = alone(i);
            bool same = true;
            for (const int f : fields) same = same && mine[static_cast<std::size_t>(f)] == whole[static_cast<std::size_t>(f)];
            if (!same) continue;
            found = i;
            if (!last) break;
        }
        return found;
    }
    void replace(std::size_t i, const std::string& text) {
        m_lines[i] = made_line(text);
        m_alone[i].reset();
    }
    void remove(std::size_t i) {
        m_lines[i].name = "\x01removed";
        m_lines[i].raw.clear();
    }
    // Before END:VCARD, or at a given line.
    void insert(std::optional<std::size_t> at, const std::string& text) { m_inserted.push_back({at, made_line(text)}); }

    std::string text() {
        std::size_t end = m_lines.size();
        for (std::size_t i = m_lines.size(); i-- > 0;) {
            if (m_lines[i].name == "END") {
                end = i;
                break;
            }
        }
        std::string out;
        auto put = [&out](const ContentLine& l) {
            if (l.name == "\x01removed") return;
            out += l.raw;
            out += "\r\n";
        };
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            for (const auto& [at, line] : m_inserted) {
                if ((at ? *at : end) == i) put(line);
            }
            put(m_lines[i]);
        }
        for (const auto& [at, line] : m_inserted) {
            if ((at ? *at : end) >= m_lines.size()) put(line);
        }
        if (end == m_lines.size()) out += "END:VCARD\r\n";
        return out;
    }

private:
    std::vector<ContentLine> m_lines;
    std::vector<std::optional<AddressFields>> m_alone;
    std::vector<std::pair<std::optional<std::size_t>, ContentLine>> m_inserted;
};

bool any_of(const FieldSet& set, std::initializer_list<int> fields) {
    for (const int f : fields) {
        if (set.test(static_cast<std::size_t>(f))) return true;
    }
    return false;
}

// The line with a new value and the old line's name and parameters.
std::string with_value(const ContentLine& old, const std::string& value) {
    const std::string head = kept_head(head_of(old.value));
    return fold_line(head + ":" + value);
}

void patch_names(Card& card, const std::vector<ContentLine>& writer) {
    std::optional<std::size_t> first;
    for (const std::string name : {"N", "FN"}) {
        for (const std::size_t i : card.named(name)) {
            if (!first) first = i;
            card.remove(i);
        }
    }
    for (const std::string name : {"N", "FN"}) {
        if (const ContentLine* l = writer_line(writer, name)) card.insert(first, l->raw);
    }
}

constexpr std::initializer_list<int> kAddressParts = {kFieldAddress1, kFieldAddress2, kFieldCity, kFieldState, kFieldZip, kFieldCountry};

void patch_address(Card& card, const AddressFields& whole, const AddressFields& fields, const std::vector<ContentLine>& writer) {
    const std::optional<std::size_t> source = card.source("ADR", whole, kAddressParts, true);
    const ContentLine* adr = writer_line(writer, "ADR");
    const ContentLine* label = writer_line(writer, "LABEL");
    std::string value;
    if (adr) {
        value = value_of(adr->value);
    } else {
        // The export writes no address without a street; a sync must still carry a city alone.
        bool any = false;
        for (const int f : kAddressParts) any = any || !trim(fields[static_cast<std::size_t>(f)]).empty();
        if (any) {
            value = ";;";
            for (const int f : {kFieldCity, kFieldState, kFieldZip, kFieldCountry}) {
                value.append(";").append(cp1252_to_utf8(vcard_escaped(fields[static_cast<std::size_t>(f)])));
            }
        }
    }
    // The labels that describe this address: those of its group, or all of them when it is the only one.
    std::vector<std::size_t> labels;
    if (source) {
        const std::string& group = card.lines()[*source].group;
        const bool only = card.named("ADR").size() == 1;
        for (const std::size_t i : card.named("LABEL")) {
            if ((!group.empty() && card.lines()[i].group == group) || (group.empty() && only)) labels.push_back(i);
        }
    }
    if (value.empty()) {
        if (source) card.remove(*source);
        for (const std::size_t i : labels) card.remove(i);
        return;
    }
    if (!source) {
        const std::string type = fields[kFieldCompany].empty() ? "HOME" : "WORK";
        card.insert(std::nullopt, adr ? adr->raw : fold_line("ADR;TYPE=" + type + ":" + value));
        if (label) card.insert(std::nullopt, label->raw);
        return;
    }
    const std::size_t at = *source;
    card.replace(at, with_value(card.lines()[at], value));
    if (!labels.empty()) {
        const ContentLine old_label = card.lines()[labels[0]];
        for (const std::size_t i : labels) card.remove(i);
        if (label) card.insert(labels[0], with_value(old_label, value_of(label->value)));
    }
}

// The text after the first unescaped ';' of a value, with the ';' ("" when none).
std::string after_first_part(const std::string& value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\') ++i;
        else if (value[i] == ';') return value.substr(i);
    }
    return {};
}

// One property that feeds one field: the company, a phone, the e-mail or
// the web site. With keep_parts the parts after the first stay (an
// organisation's units after its name).
void patch_single(Card& card, const AddressFields& whole, const std::vector<ContentLine>& writer, const std::string& name, int field,
                  const char* type, bool last, bool keep_parts = false) {
    const std::optional<std::size_t> source = card.source(name, whole, {field}, last);
    const ContentLine* mine = writer_line(writer, name, type);
    if (!mine) {
        if (source) card.remove(*source);
        return;
    }
    if (!source) {
        card.insert(std::nullopt, mine->raw);
        return;
    }
    const std::string rest = keep_parts ? after_first_part(value_of(card.lines()[*source].value)) : std::string();
    card.replace(*source, with_value(card.lines()[*source], value_of(mine->value) + rest));
}

void patch_note(Card& card, const AddressFields& fields, const UtcTime& stamp) {
    AddressFields note_only;
    for (const int f : {kFieldMisc1, kFieldMisc2, kFieldMisc3}) note_only[static_cast<std::size_t>(f)] = fields[static_cast<std::size_t>(f)];
    // The import shows a birthday as the first Misc line; it stays the card's BDAY, not a note.
    for (const std::size_t i : card.named("BDAY")) {
        if (!note_only[kFieldMisc1].empty() && card.alone(i)[kFieldMisc1] == note_only[kFieldMisc1]) {
            note_only[kFieldMisc1].clear();
            break;
        }
    }
    std::optional<std::size_t> first;
    for (const std::size_t i : card.named("NOTE")) {
        if (!first) first = i;
        card.remove(i);
    }
    const std::vector<ContentLine> writer = writer_lines(note_only, stamp);
    if (const ContentLine* l = writer_line(writer, "NOTE")) card.insert(first, l->raw);
}

}  // namespace

FieldSet changed_fields(const AddressFields& before, const AddressFields& after) {
    FieldSet set;
    for (std::size_t i = 0; i < before.size(); ++i) set.set(i, before[i] != after[i]);
    return set;
}

AddressFields card_fields(std::string_view card) {
    const VcardCards cards = read_vcards(import_text(std::string(card)), false);
    AddressFields fields;
    std::size_t at = 0;
    cards.next(at, fields);
    return fields;
}

std::string card_uid(std::string_view card) {
    for (const ContentLine& l : content_lines(card)) {
        if (l.name == "UID") return trim(value_of(l.value));
    }
    return {};
}

std::string new_card(const AddressFields& fields, const std::string& uid, const UtcTime& stamp) {
    std::string out;
    for (const ContentLine& l : writer_lines(fields, stamp)) {
        out += l.raw + "\r\n";
        if (l.name == "VERSION") out += fold_line("UID:" + uid) + "\r\n";
    }
    return out;
}

std::string patched_card(std::string_view text, const AddressFields& fields, const FieldSet& changed, const std::string& uid,
                         const UtcTime& stamp) {
    Card card(text);
    const AddressFields whole = card_fields(text);
    const std::vector<ContentLine> writer = writer_lines(fields, stamp);
    const bool no_names = fields[kFieldFirst].empty() && fields[kFieldLast].empty();
    if (any_of(changed, {kFieldFirst, kFieldLast}) || (changed.test(kFieldCompany) && no_names)) patch_names(card, writer);
    if (changed.test(kFieldCompany)) patch_single(card, whole, writer, "ORG", kFieldCompany, nullptr, true, true);
    if (any_of(changed, kAddressParts)) patch_address(card, whole, fields, writer);
    if (changed.test(kFieldHomePhone)) patch_single(card, whole, writer, "TEL", kFieldHomePhone, "HOME", false);
    if (changed.test(kFieldWorkPhone)) patch_single(card, whole, writer, "TEL", kFieldWorkPhone, "WORK", false);
    if (changed.test(kFieldCellPhone)) patch_single(card, whole, writer, "TEL", kFieldCellPhone, "CELL", false);
    if (changed.test(kFieldEmail)) patch_single(card, whole, writer, "EMAIL", kFieldEmail, nullptr, false);
    if (changed.test(kFieldWebSite)) patch_single(card, whole, writer, "URL", kFieldWebSite, nullptr, true);
    if (any_of(changed, {kFieldMisc1, kFieldMisc2, kFieldMisc3})) patch_note(card, fields, stamp);

    const ContentLine* rev = writer_line(writer, "REV");
    const std::vector<std::size_t> revs = card.named("REV");
    if (rev) {
        if (revs.empty()) card.insert(std::nullopt, rev->raw);
        else card.replace(revs[0], rev->raw);
    }
    if (card.named("UID").empty()) {
        const std::vector<std::size_t> version = card.named("VERSION");
        card.insert(version.empty() ? std::nullopt : std::optional<std::size_t>(version[0] + 1), fold_line("UID:" + uid));
    }
    return card.text();
}

std::vector<ContentLine> content_lines(std::string_view card) {
    std::vector<ContentLine> out;
    std::size_t start = 0;
    while (start < card.size()) {
        std::size_t end = card.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = card.size();
        const std::string_view physical = card.substr(start, end - start);
        start = end;
        if (start < card.size() && card[start] == '\r') ++start;
        if (start < card.size() && card[start] == '\n') ++start;
        if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t') && !out.empty()) {
            out.back().raw.append("\r\n").append(physical);
            out.back().value.append(physical.substr(1));
            continue;
        }
        if (physical.empty()) continue;
        out.push_back(ContentLine{std::string(physical), std::string(physical), {}, {}});
    }
    for (ContentLine& l : out) {
        const std::size_t cut = l.value.find_first_of(":;");
        std::string name = l.value.substr(0, cut);
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) {
            l.group = name.substr(0, dot);
            name = name.substr(dot + 1);
        }
        l.name = ascii_upper(trim(name));
    }
    return out;
}

std::string fold_line(std::string_view line) {
    std::string out;
    std::size_t octets = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        // A unit that no fold may split: one UTF-8 character, or an escape and what it escapes.
        std::size_t unit = 1;
        const auto lead = static_cast<unsigned char>(line[i]);
        if (lead == '\\' && i + 1 < line.size()) unit = 2;
        else if (lead >= 0xF0) unit = 4;
        else if (lead >= 0xE0) unit = 3;
        else if (lead >= 0xC0) unit = 2;
        unit = std::min(unit, line.size() - i);
        if (octets + unit > kFoldAt) {
            out += "\r\n ";
            octets = 1;
        }
        out.append(line.substr(i, unit));
        octets += unit;
        i += unit;
    }
    return out;
}

}  // namespace domora
