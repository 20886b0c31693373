#include "addresses/address_export.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

const std::string kCrLf = "\r\n";
// A line break inside a vCard value.
const std::string kBreak = "\\n";

// A text value as vCard 3.0 writes it: backslash, comma and semicolon
// escaped, a line break as \n.
std::string escaped(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' || c == ',' || c == ';') {
            out += '\\';
            out += c;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out += kBreak;
        } else {
            out += c;
        }
    }
    return out;
}

// Lines of a value: blank ones at either end are dropped, inner ones kept in
// their place; each line is trimmed and escaped, and they are joined by \n.
std::string value_lines(std::initializer_list<std::string> lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) kept.push_back(trim(line));
    while (!kept.empty() && kept.back().empty()) kept.pop_back();
    std::size_t first = 0;
    while (first < kept.size() && kept[first].empty()) ++first;
    std::string out;
    for (std::size_t i = first; i < kept.size(); ++i) {
        if (i > first) out += kBreak;
        out += escaped(kept[i]);
    }
    return out;
}

// How many octets each Windows-1252 byte takes in UTF-8, the file's encoding.
const std::array<unsigned char, 256>& utf8_widths() {
    static const std::array<unsigned char, 256> widths = [] {
        std::array<unsigned char, 256> w{};
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const std::size_t octets = cp1252_to_utf8(std::string_view(&byte, 1)).size();
            w[static_cast<std::size_t>(b)] = static_cast<unsigned char>(std::max<std::size_t>(1, octets));
        }
        return w;
    }();
    return widths;
}

// A content line folded so that no physical line is longer than 75 octets
// in UTF-8: each continuation starts with a blank. A break never falls
// inside a character or between an escaping backslash and what it escapes.
std::string folded(const std::string& line) {
    constexpr std::size_t kLimit = 75;
    const std::array<unsigned char, 256>& widths = utf8_widths();
    std::string out;
    std::size_t octets = 0;
    bool escaping = false;  // the last byte written is a backslash that escapes the next
    for (const char c : line) {
        const std::size_t width = widths[static_cast<unsigned char>(c)];
        if (octets + width > kLimit) {
            if (escaping) out.pop_back();
            out += kCrLf + " ";
            octets = 1;
            if (escaping) {
                out += '\\';
                ++octets;
            }
        }
        out += c;
        octets += width;
        escaping = !escaping && c == '\\';
    }
    return out;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Trimmed of blanks, then of trailing blanks and commas.
std::string plain_value(const std::string& value) {
    std::string text = trim(value);
    while (!text.empty() && (text.back() == ' ' || text.back() == ',')) text.pop_back();
    return text;
}

}  // namespace

std::string vcard_text(const std::vector<ExportRecord>& records, const UtcTime& t) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::string out;
    auto line = [&out](const std::string& text) { out += folded(text) + kCrLf; };
    for (const ExportRecord& record : records) {
        const AddressFields& raw = record.fields;
        AddressFields f;
        for (std::size_t i = 0; i < f.size(); ++i) f[i] = escaped(raw[i]);
        line("BEGIN:VCARD");
        line("VERSION:3.0");
        if (f[kFirst].empty() && f[kLast].empty()) {
            line("N:" + f[kCompany] + ";;;;");
            line("FN:" + f[kCompany]);
        } else {
            line("N:" + f[kLast] + ";" + f[kFirst] + ";;;");
            line("FN:" + f[kFirst] + " " + f[kLast]);
        }
        if (!f[kCompany].empty()) line("ORG:" + f[kCompany]);
        const std::string street = value_lines({raw[kAddress1], raw[kAddress2]});
        if (!street.empty()) {
            std::string city_line = trim(raw[kCity] + ", " + raw[kState] + " " + raw[kZip] + " " + raw[kCountry]);
            if (ends_with(city_line, ",")) city_line = trim(city_line.substr(0, city_line.size() - 1));
            const std::string label = city_line.empty() ? street : street + kBreak + escaped(city_line);
            const std::string type = f[kCompany].empty() ? "HOME" : "WORK";
            line("ADR;TYPE=" + type + ":;;" + street + ";" + f[kCity] + ";" + f[kState] + ";" + f[kZip] + ";" + f[kCountry]);
            line("LABEL;TYPE=" + type + ":" + label);
        }
        // A web address is a URI, not text: it is written as it is.
        if (!raw[kWebSite].empty()) line("URL:" + raw[kWebSite]);
        if (!f[kEmail].empty()) line("EMAIL;TYPE=INTERNET,PREF:" + f[kEmail]);
        if (!f[kHomePhone].empty()) line("TEL;TYPE=HOME,VOICE:" + f[kHomePhone]);
        if (!f[kWorkPhone].empty()) line("TEL;TYPE=WORK,VOICE:" + f[kWorkPhone]);
        if (!f[kCellPhone].empty()) line("TEL;TYPE=CELL,VOICE:" + f[kCellPhone]);
        const std::string note = value_lines({raw[kMisc1], raw[kMisc2], raw[kMisc3]});
        if (!note.empty()) line("NOTE:" + note);
        line(std::string("REV:") + stamp);
        line("END:VCARD");
        line("");
    }
    return out;
}

std::string vcard_escaped(const std::string& value) { return escaped(value); }

std::string vcard_file(const std::vector<ExportRecord>& records, const UtcTime& stamp) {
    return cp1252_to_utf8(vcard_text(records, stamp));
}

std::string csv_text(const std::vector<ExportRecord>& records) {
    std::string out =
        "First Name,Last Name,Company,Address 1,Address 2,City,State,Zip,Country,Home Phone,Work Phone,Cell Phone,Email,"
        "Web Site,Misc 1,Misc 2,Misc 3" + kCrLf;
    for (const ExportRecord& record : records) {
        for (int i = 0; i < kAddressFieldCount; ++i) {
            if (i > 0) out += ',';
            out += '"' + replace_all(record.fields[static_cast<std::size_t>(i)], "\"", "\"\"") + '"';
        }
        out += kCrLf;
    }
    return out;
}

std::string email_list_text(const std::vector<ExportRecord>& records, int& lines) {
    std::string out;
    lines = 0;
    for (const ExportRecord& record : records) {
        const AddressFields& f = record.fields;
        if (f[kEmail].empty()) continue;
        if (!f[kFirst].empty() && !f[kLast].empty()) {
            out += "\"" + f[kFirst] + " " + f[kLast] + "\" <" + f[kEmail] + ">" + kCrLf;
        } else {
            out += f[kEmail] + kCrLf;
        }
        ++lines;
    }
    return out;
}

std::string plain_text(const std::vector<ExportRecord>& records) {
    std::string out;
    for (const ExportRecord& record : records) {
        const AddressFields& f = record.fields;
        const std::pair<const char*, std::string> lines[] = {
            {"", f[kFirst] + " " + f[kLast]},
            {"", f[kCompany]},
            {"", f[kAddress1]},
            {"", f[kAddress2]},
            {"", f[kCity] + ", " + f[kState] + " " + f[kZip]},
            {"", f[kCountry]},
            {"Home: ", f[kHomePhone]},
            {"Work: ", f[kWorkPhone]},
            {"Cell: ", f[kCellPhone]},
            {"Email: ", f[kEmail]},
            {"Web: ", f[kWebSite]},
            {"", f[kMisc1]},
            {"", f[kMisc2]},
            {"", f[kMisc3]},
        };
        for (const auto& [prefix, value] : lines) {
            const std::string text = plain_value(value);
            if (!text.empty()) out += prefix + text + kCrLf;
        }
        if (!record.last_in_view) out += kCrLf + "-----" + kCrLf + kCrLf;
    }
    return out;
}

std::string with_default_extension(const std::string& name, const std::string& extension) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 > 5) return name + extension;
    return name;
}

}  // namespace domora
