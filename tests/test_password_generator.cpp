// Generated passwords: the word list as shipped, lengths, classes, the
// look-alikes left out, passphrases, strength in bits, a chi-square check
// that no character is favoured, and the Generate button of the record form.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/generator_popup.h"
#include "passwords/password_actions.h"
#include "passwords/password_generator.h"
#include "passwords/password_store.h"
#include "ui/popups.h"
#include "password_fixtures.h"
#include "ui_fixture.h"

namespace domora {
namespace {

TEST(WordList, HoldsTheSevenThousandSevenHundredSeventySixNumberedWords) {
    std::string_view text = passphrase_word_list();
    std::vector<std::string> dice;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ASSERT_NE(end, std::string_view::npos) << "every line ends";
        dice.emplace_back(text.substr(0, text.find('\t')));
        text.remove_prefix(end + 1);
    }
    ASSERT_EQ(dice.size(), kPassphraseWordCount);
    // Five dice, in order: 11111, 11112, ... 66666.
    std::string expected = "11111";
    for (const std::string& number : dice) {
        ASSERT_EQ(number, expected);
        for (int i = 4; i >= 0; --i) {
            if (expected[static_cast<std::size_t>(i)] < '6') {
                ++expected[static_cast<std::size_t>(i)];
                break;
            }
            expected[static_cast<std::size_t>(i)] = '1';
        }
    }
    const std::vector<std::string>& words = passphrase_words();
    ASSERT_EQ(words.size(), kPassphraseWordCount);
    EXPECT_EQ(words.front(), "abacus");
    EXPECT_EQ(words.back(), "zoom");
    EXPECT_EQ(std::set<std::string>(words.begin(), words.end()).size(), words.size()) << "no word twice";
    for (const std::string& w : words) EXPECT_EQ(w.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"), std::string::npos) << w;
}

TEST(Generator, EveryClassChosenIsThereAndNothingElseAtAnyLength) {
    const std::string look_alikes = "0O1lI|";
    for (unsigned classes = 1; classes < 16; ++classes) {
        GeneratorChoice c;
        c.upper = classes & 1;
        c.lower = classes & 2;
        c.digits = classes & 4;
        c.symbols = classes & 8;
        std::string allowed;
        for (std::string_view cls : chosen_classes(c)) allowed += cls;
        for (int length : {kMinGeneratedLength, kDefaultGeneratedLength, kMaxGeneratedLength}) {
            c.length = length;
            for (int round = 0; round < 20; ++round) {
                const std::string pw = generate_password(c);
                SCOPED_TRACE(pw);
                ASSERT_EQ(pw.size(), static_cast<std::size_t>(length));
                ASSERT_EQ(pw.find_first_not_of(allowed), std::string::npos);
                ASSERT_EQ(pw.find_first_of(look_alikes), std::string::npos);
                for (std::string_view cls : chosen_classes(c)) ASSERT_NE(pw.find_first_of(cls), std::string::npos) << cls;
            }
        }
    }
    // Outside the limits the length is kept within them; no class at all means lower case.
    GeneratorChoice odd;
    odd.length = 3;
    EXPECT_EQ(generate_password(odd).size(), static_cast<std::size_t>(kMinGeneratedLength));
    odd.length = 500;
    EXPECT_EQ(generate_password(odd).size(), static_cast<std::size_t>(kMaxGeneratedLength));
    odd = GeneratorChoice{};
    odd.upper = odd.lower = odd.digits = odd.symbols = false;
    EXPECT_EQ(generate_password(odd).find_first_not_of(kLowerLetters), std::string::npos);
}

TEST(Generator, PassphrasesAreWordsOfTheListJoinedByHyphens) {
    const std::vector<std::string>& words = passphrase_words();
    const std::set<std::string> known(words.begin(), words.end());
    for (int count : {kMinPassphraseWords, kDefaultPassphraseWords, kMaxPassphraseWords}) {
        GeneratorChoice c;
        c.passphrase = true;
        c.words = count;
        // Drawn by index, so a word with its own hyphen ("yo-yo") is one word.
        std::vector<std::uint32_t> drawn;
        const std::string phrase = generate_password(c, [&](std::uint32_t bound) {
            EXPECT_EQ(bound, kPassphraseWordCount);
            drawn.push_back(random_below(bound));
            return drawn.back();
        });
        ASSERT_EQ(drawn.size(), static_cast<std::size_t>(count));
        std::string expected;
        for (std::uint32_t i : drawn) expected += (expected.empty() ? "" : "-") + words[i];
        EXPECT_EQ(phrase, expected);
    }
    GeneratorChoice c;
    c.passphrase = true;
    std::string phrase = generate_password(c);
    if (phrase.find("yo-yo") == std::string::npos) {
        EXPECT_EQ(std::count(phrase.begin(), phrase.end(), '-'), 5) << phrase;
    }
}

TEST(Generator, StrengthCountsThePasswordsAChoiceCanGive) {
    GeneratorChoice c;
    c.passphrase = true;
    EXPECT_NEAR(strength_bits(c), 6 * std::log2(7776.0), 1e-9);
    c = GeneratorChoice{};
    c.upper = c.digits = c.symbols = false;
    c.length = 8;
    EXPECT_NEAR(strength_bits(c), 8 * std::log2(25.0), 1e-9) << "one class: every string of it";
    // Upper case and digits, both there: 32^8 less those without either.
    c.upper = true;
    c.lower = false;
    c.digits = true;
    const double count = std::pow(32.0, 8) - std::pow(24.0, 8) - std::pow(8.0, 8);
    EXPECT_NEAR(strength_bits(c), std::log2(count), 1e-9);
    // The default: 20 characters of 84, of which one in seven lacks a class (mostly the digits).
    EXPECT_LT(strength_bits(GeneratorChoice{}), 20 * std::log2(84.0));
    EXPECT_GT(strength_bits(GeneratorChoice{}), 20 * std::log2(84.0) - 0.25);
    c = GeneratorChoice{};
    c.length = kMaxGeneratedLength;
    EXPECT_NEAR(strength_bits(c), 128 * std::log2(84.0), 0.01);
}

// Pearson's chi-square over counts that should all be equal; the limit is
// far in the tail (one failure in about a million runs), so only a real bias trips it.
void expect_uniform(const std::map<char, long>& counts, const std::string_view cls) {
    long total = 0;
    for (char ch : cls) total += counts.count(ch) ? counts.at(ch) : 0;
    const double expected = static_cast<double>(total) / static_cast<double>(cls.size());
    double chi = 0;
    for (char ch : cls) {
        const double seen = counts.count(ch) ? static_cast<double>(counts.at(ch)) : 0;
        chi += (seen - expected) * (seen - expected) / expected;
    }
    // Wilson and Hilferty: the chi-square quantile from the normal one (z = 4.75).
    const double k = static_cast<double>(cls.size() - 1);
    const double limit = k * std::pow(1 - 2 / (9 * k) + 4.75 * std::sqrt(2 / (9 * k)), 3);
    EXPECT_LT(chi, limit) << "class " << cls << " is not uniform";
}

TEST(Generator, NoCharacterIsFavouredWithinItsClass) {
    std::map<char, long> counts;
    const GeneratorChoice all;
    for (int i = 0; i < 5000; ++i) {
        for (char ch : generate_password(all)) ++counts[ch];
    }
    for (std::string_view cls : chosen_classes(all)) expect_uniform(counts, cls);
    // With one class the whole password is uniform.
    GeneratorChoice digits;
    digits.upper = digits.lower = digits.symbols = false;
    counts.clear();
    for (int i = 0; i < 2000; ++i) {
        for (char ch : generate_password(digits)) ++counts[ch];
    }
    expect_uniform(counts, kDigitCharacters);
    // And the numbers below a bound that is no power of two.
    std::map<char, long> below;
    for (int i = 0; i < 60000; ++i) ++below[static_cast<char>('a' + random_below(7))];
    expect_uniform(below, "abcdefg");
}

// ---- the form's button -------------------------------------------------------------------------

class GenerateButton : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        test::use_password_files(dir());
        password_list() = ListState{};
        clear_field_buffer();
        main_window().current_screen = kScreenPasswords;
        install_popup_messages();
        reset_generator_choice();
        // The store is standard here: the strong one's cost is not what these tests are about.
        write(path("password10.dat"), std::string());
        set_master_password("pw");
        ASSERT_TRUE(SavePasswords());
        LoadPasswords();
        ASSERT_TRUE(IsUnlocked());
    }
    void TearDown() override {
        set_message_handler(nullptr);
        test::forget_password_files();
        UiTest::TearDown();
    }
    void alt_g() { os.push_char('g', false, false, true); }
    void save_form() {
        for (int i = 0; i < 16; ++i) os.push_key(kKeyReturn);
    }
};

TEST_F(GenerateButton, AltGFillsTheFirstEmptyLineOrThePasswordLine) {
    os.push_text("Bank");
    alt_g();
    os.push_key(kKeyReturn);  // "Use"
    save_form();
    AddPassword();
    ASSERT_EQ(view_count(), 1);
    PasswordEntry entry = read_entry(view_record(0));
    EXPECT_EQ(entry.title, "Bank");
    ASSERT_EQ(entry.lines.size(), 1u);
    EXPECT_EQ(entry.lines[0].name, "Password:");
    EXPECT_EQ(entry.lines[0].value.size(), static_cast<std::size_t>(kDefaultGeneratedLength));

    // Editing: a line already named "password:" gets the new value; the others stay.
    const std::string old_value = entry.lines[0].value;
    alt_g();
    os.push_char('p');        // a passphrase this time
    os.push_key(kKeyReturn);
    save_form();
    EditPassword();
    entry = read_entry(view_record(0));
    ASSERT_EQ(entry.lines.size(), 1u);
    EXPECT_NE(entry.lines[0].value, old_value);
    EXPECT_EQ(std::count(entry.lines[0].value.begin(), entry.lines[0].value.end(), '-') >= 5, true) << entry.lines[0].value;
}

TEST_F(GenerateButton, TheCountAndClassesAreSetInThePopupAndCancelKeepsTheForm) {
    std::string out;
    // Longer by ten with Page Up, shorter by two with "-", upper case off with its letter, then Use.
    os.push_key(kKeyPageUp);
    os.push_char('-');
    os.push_char('-');
    os.push_char('u');
    os.push_key(kKeyReturn);
    ASSERT_TRUE(generate_password_popup(out));
    EXPECT_EQ(out.size(), static_cast<std::size_t>(kDefaultGeneratedLength + 8));
    EXPECT_EQ(out.find_first_of(kUpperLetters), std::string::npos);
    // The choice is kept for the next popup; the last class cannot be turned off.
    os.push_char('u');         // upper case back on
    os.push_char('l');
    os.push_char('d');
    os.push_char('s');
    os.push_char('u');         // the only one left: stays on
    os.push_key(kKeyReturn);
    ASSERT_TRUE(generate_password_popup(out));
    EXPECT_EQ(out.find_first_not_of(kUpperLetters), std::string::npos) << out;
    os.push_key(kKeyEscape);
    EXPECT_FALSE(generate_password_popup(out));

    // Generate, then Cancel in the popup: the form is back with what was typed.
    os.push_text("Kept");
    alt_g();
    os.push_key(kKeyEscape);
    save_form();
    AddPassword();
    ASSERT_EQ(view_count(), 1);
    const PasswordEntry entry = read_entry(view_record(0));
    EXPECT_EQ(entry.title, "Kept");
    EXPECT_TRUE(entry.lines.empty());
}

}  // namespace
}  // namespace domora
