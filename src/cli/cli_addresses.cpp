#include <string>
#include <vector>

#include "addresses/address_export.h"
#include "addresses/address_import_file.h"
#include "addresses/address_list.h"
#include "addresses/address_store.h"
#include "addresses/folded_text.h"
#include "app/startup.h"
#include "app/text.h"
#include "cli/cli_verbs.h"
#include "platform/platform.h"

namespace domora::cli {

namespace {

const char* const kJsonNames[kAddressFieldCount] = {
    "first", "last", "company", "address1", "address2", "city", "state", "zip", "country",
    "home_phone", "work_phone", "cell_phone", "email", "web_site", "misc1", "misc2", "misc3",
};

int load_book(AddressStore& store) {
    const Result<void> loaded = store.load();
    if (!loaded) return fail(kExitDamaged, "cannot read " + app_paths().address_file + ": " + loaded.error().message);
    return kExitOk;
}

// The live records in the book's order; with a text, those holding it in one field.
std::vector<ExportRecord> chosen_records(const AddressStore& store, const std::string& find) {
    std::vector<ExportRecord> records;
    const std::string wanted = to_upper(trim(find));
    const FoldedText finder(wanted.empty() ? std::string(" ") : wanted);
    for (int p = 0; p < store.count(); ++p) {
        const AddressRecord record = store.record_at(store.item(p));
        if (!wanted.empty()) {
            bool hit = false;
            for (const std::string& value : record.fields) hit = hit || finder.in(value);
            if (!hit) continue;
        }
        records.push_back(ExportRecord{record.fields, false});
    }
    if (!records.empty()) records.back().last_in_view = true;
    return records;
}

int list(Words& words) {
    int error = kExitOk;
    std::string find;
    words.option("--find", find, error);
    const bool json = words.flag("--json");
    if (error != kExitOk) return error;
    if (const int left = words.leftover()) return left;
    AddressStore store;
    if (const int loaded = load_book(store)) return loaded;
    const std::vector<ExportRecord> records = chosen_records(store, find);
    std::string out;
    if (json) out += "[";
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (json) {
            out += r == 0 ? "\n  {" : ",\n  {";
            for (int f = 0; f < kAddressFieldCount; ++f) {
                out += std::string(f == 0 ? "" : ", ") + "\"" + kJsonNames[f] + "\": " + json_string(records[r].fields[static_cast<std::size_t>(f)]);
            }
            out += "}";
        } else {
            for (int f = 0; f < kAddressFieldCount; ++f) {
                out += (f == 0 ? "" : "\t") + one_column(records[r].fields[static_cast<std::size_t>(f)]);
            }
            out += "\n";
        }
    }
    if (json) out += records.empty() ? "]\n" : "\n]\n";
    return write_output("-", out);
}

int export_book(Words& words) {
    int error = kExitOk;
    std::string format, find, target;
    const bool have_format = words.option("--format", format, error);
    words.option("--find", find, error);
    if (error != kExitOk) return error;
    if (!have_format) return fail(kExitUser, "addresses export: --format vcard|csv|emails|text is needed");
    if (format != "vcard" && format != "csv" && format != "emails" && format != "text") {
        return fail(kExitUser, "addresses export: unknown format " + format + " (vcard, csv, emails or text)");
    }
    if (!words.take(target)) return fail(kExitUser, "addresses export: name the output FILE, or - for standard output");
    if (const int left = words.leftover()) return left;
    AddressStore store;
    if (const int loaded = load_book(store)) return loaded;
    const std::vector<ExportRecord> records = chosen_records(store, find);
    std::string text;
    if (format == "vcard") {
        text = vcard_file(records, platform().utc_now());
    } else if (format == "csv") {
        text = csv_text(records);
    } else if (format == "text") {
        text = plain_text(records);
    } else {
        int lines = 0;
        text = email_list_text(records, lines);
        // As in the window program, nothing is written then.
        if (lines == 0) return fail(kExitUser, "addresses export: none of the addresses has an email address; nothing written");
    }
    return write_output(target, text);
}

class QuietSteps : public ImportSteps {
public:
    void update(long long, long long) override {}
};

bool looks_like_vcard(const std::string& target, const std::string& bytes) {
    const std::string lower = to_lower(target);
    if (lower.size() > 4 && (lower.ends_with(".vcf") || lower.ends_with(".vcard"))) return true;
    if (lower.ends_with(".csv")) return false;
    return to_upper(bytes.substr(0, 65536)).find("BEGIN:VCARD") != std::string::npos;
}

int import_book(Words& words) {
    int error = kExitOk;
    std::string format, source;
    const bool have_format = words.option("--format", format, error);
    if (error != kExitOk) return error;
    if (have_format && format != "vcard" && format != "csv") {
        return fail(kExitUser, "addresses import: unknown format " + format + " (vcard or csv)");
    }
    if (!words.take(source)) return fail(kExitUser, "addresses import: name the FILE to read, or - for standard input");
    if (const int left = words.leftover()) return left;
    std::string bytes;
    if (!read_input(source, bytes, error)) return error;
    const std::string where = source == "-" ? std::string("standard input") : source;
    const bool vcard = have_format ? format == "vcard" : looks_like_vcard(source, bytes);
    AddressStore store;
    if (const int loaded = load_book(store)) return loaded;
    if (store.read_failed()) return fail(kExitDamaged, "cannot read " + app_paths().address_file);
    const std::size_t size_before = store.size();
    std::int32_t last_id = 0;
    QuietSteps steps;
    int imported = 0;
    if (vcard) {
        imported = static_cast<int>(import_vcard_bytes(store, std::move(bytes), steps, last_id));
    } else {
        CsvImportText text;
        if (!read_csv_import(bytes, text)) return fail(kExitUser, where + ": no text in file");
        const FieldMapping mapping = auto_map(text.header, text.header_line);
        if (mapping[kFieldFirst] == 0 && mapping[kFieldLast] == 0 && mapping[kFieldCompany] == 0) {
            std::string columns;
            for (const std::string& column : text.header) columns += (columns.empty() ? "\"" : ", \"") + for_terminal(column) + "\"";
            return fail(kExitUser, where + ": no column gives a name or company; the columns are " + columns);
        }
        const CsvImportCount count = import_csv_text(store, text, mapping, steps, last_id);
        imported = count.imported;
        if (count.skipped > 0) warn(where + ": " + std::to_string(count.skipped) + " lines skipped, their field count differs from the header's");
    }
    if (store.size() == size_before) return fail(kExitUser, where + ": no addresses found");
    const Result<void> sorted = sort_addresses(store);
    if (!sorted) return fail(kExitUser, "cannot write " + app_paths().address_file + ": " + sorted.error().message);
    std::printf("%d %s imported\n", imported, imported == 1 ? "address" : "addresses");
    return kExitOk;
}

}  // namespace

int run_addresses(Words& words) {
    std::string action;
    if (!words.take(action)) return fail(kExitUser, "addresses: list, export or import? (see domora-cli addresses --help)");
    Words rest = words.under(action);
    if (action == "list") return list(rest);
    if (action == "export") return export_book(rest);
    if (action == "import") return import_book(rest);
    return fail(kExitUser, "addresses: unknown action " + action + " (list, export or import)");
}

}  // namespace domora::cli
