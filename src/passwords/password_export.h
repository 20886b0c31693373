// The two unencrypted export formats of the password store.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "passwords/password_record.h"

namespace domora {

struct PasswordExportRecord {
    std::string title;
    std::array<PasswordLine, kPasswordLineCount> slots;  // empty slots stay empty
};

// The record at these bytes as the export writes it.
PasswordExportRecord password_export_record(RecordBytes bytes);
// Wipes the secrets the records hold.
void wipe_export_records(std::vector<PasswordExportRecord>& records);

// Per record: the title, "name value" for every slot with a name or a value,
// then an empty line.
std::string password_plain_text(const std::vector<PasswordExportRecord>& records);
// One line per record: the title and the 15 slots, each quoted (a quote
// inside is doubled), no header.
std::string password_csv_text(const std::vector<PasswordExportRecord>& records);
// The name the export is written under: "passwords" when empty, and the
// extension put in place of whatever followed the last ".".
std::string password_export_name(const std::string& name, const std::string& extension);

}  // namespace domora
