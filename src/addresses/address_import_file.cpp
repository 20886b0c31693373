#include "addresses/address_import_file.h"

#include <optional>
#include <utility>

#include "addresses/address_csv_layouts.h"
#include "app/csv_text.h"
#include "app/status_log.h"
#include "app/text.h"

namespace domora {

void append_imported(AddressStore& store, AddressFields& fields, std::int32_t& last_id) {
    // The record's log lines go out in one write.
    const StatusLogBatch batch;
    fit_to_record(fields);
    log_imported_record(fields);
    const std::int32_t id = store.new_record_id();
    (void)store.append_record(id, 0, fields);
    last_id = id;
}

std::size_t import_vcard_bytes(AddressStore& store, std::string bytes, ImportSteps& steps, std::int32_t& last_id) {
    // Some twenty log lines a card: written a card at a time, the writes
    // took longer than everything else.
    const StatusLogBatch paced(StatusLogBatch::kPaced);
    const VcardCards cards = read_vcards(import_text(std::move(bytes)));
    const auto total = static_cast<long long>(cards.size());
    long long done = 0;
    AddressFields card;
    for (std::size_t at = 0; cards.next(at, card);) {
        steps.update(++done, total);
        append_imported(store, card, last_id);
        if (!steps.keep_going()) break;
    }
    return cards.size();
}

bool read_csv_import(const std::string& bytes, CsvImportText& text) {
    if (bytes.size() < 5) return false;
    const std::string decoded = import_text(bytes);
    text.separator = detect_separator(decoded);
    text.lines = csv_lines(decoded, text.separator);
    if (text.lines.empty()) return false;
    text.header = split_csv_line(text.lines[0], text.separator);
    text.header_line = trim(text.lines[0]);
    return true;
}

CsvImportCount import_csv_text(AddressStore& store, const CsvImportText& text, const FieldMapping& mapping, ImportSteps& steps,
                               std::int32_t& last_id) {
    const CsvColumns columns = csv_columns(text.header);
    const std::vector<std::string>& lines = text.lines;
    CsvImportCount count;
    std::optional<StatusLogBatch> paced;
    paced.emplace(StatusLogBatch::kPaced);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        steps.update(static_cast<long long>(i + 1), static_cast<long long>(lines.size()));
        if (trim(lines[i]).empty() && i + 1 == lines.size()) break;  // the end of the last line
        const std::vector<std::string> fields = split_csv_line(lines[i], text.separator);
        if (fields.size() != text.header.size()) {
            ++count.skipped;
            continue;
        }
        if (i == 0 && is_header_line(fields)) continue;
        const StatusLogBatch batch;
        status_log_write("\r\n------\r\n" + log_number(static_cast<std::int64_t>(i)) + " - " + lines[i]);
        AddressFields record = mapped_record(fields, mapping, columns);
        append_imported(store, record, last_id);
        ++count.imported;
        if (!steps.keep_going()) break;
    }
    return count;
}

std::string skipped_lines_message(int skipped) {
    if (skipped <= 0) return {};
    return std::to_string(skipped) + " records were skipped|due to inconsistent field counts.";
}

}  // namespace domora
