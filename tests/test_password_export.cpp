#include <gtest/gtest.h>

#include "passwords/password_export.h"

namespace domora {
namespace {

PasswordExportRecord record(const std::string& title, std::initializer_list<std::pair<int, PasswordLine>> slots) {
    PasswordExportRecord r;
    r.title = title;
    for (const auto& [i, line] : slots) r.slots[static_cast<std::size_t>(i)] = line;
    return r;
}

TEST(PasswordExport, PlainTextListsTheFilledSlotsUnderTheTitle) {
    const std::string text = password_plain_text({record("Bank", {{0, {"User:", "ann"}}, {3, {"", " 1234 "}}}), record("Empty", {})});
    EXPECT_EQ(text, "Bank\r\nUser: ann\r\n1234\r\n\r\nEmpty\r\n\r\n");
}

TEST(PasswordExport, CsvHasSixteenQuotedColumnsAndDoublesQuotes) {
    const std::string text = password_csv_text({record("Mail \"home\"", {{1, {"Pass:", "a,b"}}}), record("Empty", {})});
    EXPECT_EQ(text,
              "\"Mail \"\"home\"\"\",\"\",\"Pass: a,b\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"
              "\"Empty\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(PasswordExport, TheFileNameGetsTheFormatsExtension) {
    EXPECT_EQ(password_export_name("  ", "txt"), "passwords.txt");
    EXPECT_EQ(password_export_name("vault", "csv"), "vault.csv");
    EXPECT_EQ(password_export_name("my.vault.old", "csv"), "my.vault.csv");
    EXPECT_EQ(password_export_name("trailing.", "txt"), "trailing.txt");
}

}  // namespace
}  // namespace domora
