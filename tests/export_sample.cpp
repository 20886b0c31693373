// Writes a few awkward address records through the real export code, for the
// independent readers that check_exports.py runs over them: sample.vcf (as a
// file export writes it), sample.csv, and expected.txt with the 17 values of
// each record, tab-separated, in UTF-8.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "addresses/address_export.h"
#include "platform/cp1252.h"

namespace {

using domora::AddressFields;
using domora::ExportRecord;

AddressFields values(std::initializer_list<const char*> given) {
    AddressFields f;
    std::size_t i = 0;
    for (const char* v : given) f[i++] = v;
    return f;
}

bool write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_sample FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    // Windows-1252 bytes, as the address file holds them.
    const std::vector<AddressFields> records = {
        values({"Ann", "Lee", "", "1 Main St", "Apt 2", "Troy", "NY", "12180", "USA", "518-555-0100", "518-555-0101",
                "518-555-0102", "ann@example.org", "http://example.org/ann", "Tennis on Tuesdays", "Two cats", "Vegetarian"}),
        values({"", "", "Acme, Inc.; Tools", "", "Suite 5", "Springfield, East", "IL", "62701", "", "", "(217) 555-0142", "",
                "sales@acme.example", "", "", "", ""}),
        values({"Ren\xE9" "e", "M\xFCller-L\xFC" "denscheidt", "Caf\xE9 \"Zum L\xF6wen\"", "", "Postfach 12", "K\xF6ln", "",
                "50667", "Deutschland", "+49 221 555 0199", "", "", "renee@example.de", "",
                "Zahlt \x80 5; back\\slash, comma and a note long enough to be folded somewhere in its \xE4\xF6\xFC middle",
                "", "Third line"}),
        values({"Bob", "Stone", "", "An unusually long street name that goes on well past the fold, Building 7, Floor 3",
                "", "Oakville", "ON", "L6J 1A1", "Canada", "", "", "905-555-0177", "", "", "", "", ""}),
    };
    std::vector<ExportRecord> exported;
    std::string expected;
    for (std::size_t i = 0; i < records.size(); ++i) {
        exported.push_back(ExportRecord{records[i], i + 1 == records.size()});
        for (std::size_t f = 0; f < records[i].size(); ++f) expected += (f > 0 ? "\t" : "") + records[i][f];
        expected += "\n";
    }
    const domora::UtcTime stamp{2026, 12, 7, 9, 5, 3, 0};
    const bool ok = write(folder + "sample.vcf", domora::vcard_file(exported, stamp)) &&
                    write(folder + "sample.csv", domora::csv_text(exported)) &&
                    write(folder + "expected.txt", domora::cp1252_to_utf8(expected));
    return ok ? 0 : 1;
}
