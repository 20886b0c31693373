// One password record: its bytes inside the image, the title and the
// "Name: Value" lines read from them, how a value is classified for the
// mouse, and the record's sort key.
//
// Record bytes (little-endian): total length (4), "MSRI", record id (4),
// format (1: title and 9 values with fixed names; 2: title and 15 lines;
// 0: deleted), one byte kept across edits, then the fields, each ended by a
// zero byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace domora {

inline constexpr std::size_t kPasswordRecordHeaderSize = 14;
inline constexpr int kPasswordLineCount = 15;
inline constexpr int kPasswordFieldCount = 1 + kPasswordLineCount;  // the title and the lines
inline constexpr int kOldFormatValueCount = 9;
inline constexpr std::size_t kMaxFieldLength = 250;
inline constexpr std::size_t kPasswordRecordBuilderSize = 4096;
inline constexpr unsigned char kFormatDeleted = 0;
inline constexpr unsigned char kFormatOld = 1;
inline constexpr unsigned char kFormatCurrent = 2;

using RecordBytes = std::span<const unsigned char>;

std::uint32_t read_u32(const unsigned char* p);
void write_u32(unsigned char* p, std::uint32_t value);

std::int32_t record_id(RecordBytes record);
unsigned char record_format(RecordBytes record);
// The fields as stored, in order: the title, then the lines (or values).
// A field missing its zero byte ends at the end of the record.
std::vector<std::string> record_fields(RecordBytes record);
// Everything after the header: the fields with their zero separators.
std::string record_text(RecordBytes record);

struct PasswordLine {
    std::string name;   // with its ":", or empty
    std::string value;
};

struct PasswordEntry {
    std::int32_t id = 0;
    unsigned char format = 0;
    std::string title;
    std::vector<PasswordLine> lines;  // 0 to 15, empty ones left out
};

PasswordEntry read_entry(RecordBytes record);
// "Name: Value" split at its first colon, both sides trimmed.
PasswordLine split_line(const std::string& line);

// Builds a current-format record: id, format 2, the kept byte, and up to 16
// fields (cut to 250 bytes and at any zero byte, so the record always fits
// the 4096-byte builder).
std::vector<unsigned char> build_record(std::int32_t id, const std::vector<std::string>& fields, unsigned char kept);

enum class ValueKind { kText, kEmail, kWeb };
ValueKind classify_value(const std::string& value);

// The title and the first three stored fields after it, joined by blanks,
// trimmed and upper-cased.
std::string sort_key(RecordBytes record);

// The text as the clipboard gets it: a lone CR or LF becomes CR LF.
std::string clipboard_line_ends(const std::string& text);

}  // namespace domora
