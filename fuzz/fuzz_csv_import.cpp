// CSV import and its column mapping: any text gives records that fit the
// address file, mapped columns that exist, and a file this program exported
// reads back to the values it was made of.
#include "addresses/address_import.h"
#include "app/text.h"
#include "fuzz_limits.h"

using namespace domora;

namespace {

void read_any(const std::string& bytes) {
    const std::vector<std::string> lines = csv_lines(import_text(bytes));
    if (lines.empty()) return;
    const std::vector<std::string> header = split_csv_line(lines[0]);
    FUZZ_CHECK(!header.empty());
    (void)is_header_line(header);
    const FieldMapping mapping = auto_map(header, lines[0]);
    for (int column : mapping) FUZZ_CHECK(column >= 0 && column <= static_cast<int>(header.size()));
    for (std::size_t i = 1; i < lines.size(); ++i) {
        AddressFields record = mapped_record(split_csv_line(lines[i]), mapping);
        fit_to_record(record);
        fuzz::check_importable(record);
    }
}

void round_trip(std::string_view bytes) {
    const AddressFields fields = fuzz::fields_from(bytes, false);
    std::vector<ExportRecord> records(2);
    records[0].fields = fields;
    records[1].fields[kFieldFirst] = "Ann";
    records[1].last_in_view = true;
    const std::vector<std::string> lines = csv_lines(csv_text(records));
    FUZZ_CHECK(lines.size() == 3);
    const std::vector<std::string> header = split_csv_line(lines[0]);
    FUZZ_CHECK(is_header_line(header));
    const FieldMapping mapping = auto_map(header, lines[0]);
    AddressFields read = mapped_record(split_csv_line(lines[1]), mapping);
    // Blanks at either end of a value are not kept by the reader.
    AddressFields expected = fields;
    for (std::string& value : expected) value = trim(value);
    for (std::string& value : read) value = trim(value);
    FUZZ_CHECK(read == expected);
    FUZZ_CHECK(mapped_record(split_csv_line(lines[2]), mapping) == records[1].fields);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fuzz_platform();
    read_any(std::string(fuzz::input_text(data, size)));
    round_trip(fuzz::input_text(data, size));
    return 0;
}
