#include "addresses/address_export.h"

#include <cstdio>

#include "app/text.h"
#include "platform/cp1252.h"

namespace domora {

namespace {

enum Field {
    kFirst, kLast, kCompany, kAddress1, kAddress2, kCity, kState, kZip, kCountry,
    kHomePhone, kWorkPhone, kCellPhone, kEmail, kWebSite, kMisc1, kMisc2, kMisc3,
};

const std::string kBreak = "=0D=0A";
const std::string kCrLf = "\r\n";

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Leading and trailing separators go, each removal followed by a trim, until none is left.
std::string strip_breaks(std::string text, bool repeat) {
    text = trim(text);
    bool changed = true;
    while (changed) {
        changed = false;
        if (text.rfind(kBreak, 0) == 0) {
            text = trim(text.substr(kBreak.size()));
            changed = repeat;
        }
        if (ends_with(text, kBreak)) {
            text = trim(text.substr(0, text.size() - kBreak.size()));
            changed = repeat;
        }
    }
    return text;
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
    auto line = [&out](const std::string& text) { out += text + kCrLf; };
    for (const ExportRecord& record : records) {
        AddressFields f = record.fields;
        for (std::string& value : f) value = replace_all(replace_all(value, ",", "\\,"), ";", "\\;");
        line("BEGIN:VCARD");
        line("VERSION:3.0");
        if (f[kFirst].empty() && f[kLast].empty()) {
            line("N:" + f[kCompany] + ";;");
            line("FN:" + f[kCompany]);
        } else {
            line("N:" + f[kLast] + ";" + f[kFirst] + ";");
            line("FN:" + f[kFirst] + " " + f[kLast]);
        }
        if (!f[kCompany].empty()) line("ORG:" + f[kCompany]);
        const std::string street = strip_breaks(f[kAddress1] + kBreak + f[kAddress2], false);
        if (!street.empty()) {
            std::string label = trim(street + kCrLf + f[kCity] + ", " + f[kState] + " " + f[kZip] + " " + f[kCountry]);
            if (ends_with(label, ",")) label = trim(label.substr(0, label.size() - 1));
            if (ends_with(label, kCrLf)) label = trim(label.substr(0, label.size() - 2));
            const std::string type = f[kCompany].empty() ? "HOME" : "WORK";
            line("ADR;" + type + ";ENCODING=QUOTED-PRINTABLE:;;" + street + ";" + f[kCity] + ";" + f[kState] + ";" + f[kZip] +
                 ";" + f[kCountry]);
            line("LABEL;" + type + ";ENCODING=QUOTED-PRINTABLE:" + label);
        }
        if (!f[kWebSite].empty()) line("URL:" + f[kWebSite]);
        if (!f[kEmail].empty()) line("EMAIL;PREF;INTERNET:" + f[kEmail]);
        if (!f[kHomePhone].empty()) line("TEL;HOME;VOICE:" + f[kHomePhone]);
        if (!f[kWorkPhone].empty()) line("TEL;WORK;VOICE:" + f[kWorkPhone]);
        if (!f[kCellPhone].empty()) line("TEL;CELL;VOICE:" + f[kCellPhone]);
        const std::string note = strip_breaks(f[kMisc1] + kBreak + f[kMisc2] + kBreak + f[kMisc3], true);
        if (!note.empty()) line("NOTE;ENCODING=QUOTED-PRINTABLE:" + note);
        line(std::string("REV:") + stamp);
        line("END:VCARD");
        line("");
    }
    return out;
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
