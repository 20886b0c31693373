// Text that other programs wrote, as the importers read it: the encoding
// guessed and converted to Windows-1252, and CSV split into lines and fields.
#pragma once

#include <string>
#include <vector>

namespace domora {

// True for UTF-8 that holds at least one multi-byte sequence: plain ASCII
// and Windows-1252 text are left as they are.
bool valid_utf8_with_multibyte(const std::string& bytes);

// A file's or the clipboard's bytes as Windows-1252 text: a byte-order mark
// is skipped, UTF-16 and UTF-8 are converted (what the code page cannot hold
// becomes '?'), anything else is taken as Windows-1252 already.
std::string import_text(const std::string& bytes);
// The same, taking the bytes over when they are Windows-1252 already.
std::string import_text(std::string&& bytes);

// The separator of a CSV text: ",", ";" (spreadsheets in many European
// locales) or a tab, whichever its first line holds most often outside quotes.
char detect_separator(const std::string& text);
// The lines of a CSV text; a quoted field may run over line ends, and a
// doubled quote inside it is one quote (RFC 4180).
std::vector<std::string> csv_lines(const std::string& text, char separator = ',');
// The fields of one line: blanks around a line and before a field are
// dropped; a quoted field runs to its closing quote ("" stands for one
// quote, line breaks inside become ", "); any other field runs to the next
// separator and loses its trailing blanks.
std::vector<std::string> split_csv_line(const std::string& line, char separator = ',');
// A value as one written CSV field: in double quotes, a quote inside doubled,
// so that a text such as 16" wheels reads back whole in a spreadsheet.
std::string csv_quoted(const std::string& value);

}  // namespace domora
