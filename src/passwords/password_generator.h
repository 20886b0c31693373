// Generated passwords: random characters from the chosen classes (at least
// one of each, look-alike characters left out) or a passphrase of words
// from the EFF large word list, with the strength each choice gives.
// Random numbers come from libsodium, uniform below any bound.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace domora {

inline constexpr int kMinGeneratedLength = 8;
inline constexpr int kMaxGeneratedLength = 128;
inline constexpr int kDefaultGeneratedLength = 20;
inline constexpr int kMinPassphraseWords = 3;
inline constexpr int kMaxPassphraseWords = 20;
inline constexpr int kDefaultPassphraseWords = 6;
inline constexpr std::size_t kPassphraseWordCount = 7776;

// The classes, without 0 O 1 l I and |. The symbols also leave out the
// quotes, the backquote and the backslash, which the CSV export and many
// sites' forms do not take as they are.
inline constexpr std::string_view kUpperLetters = "ABCDEFGHJKLMNPQRSTUVWXYZ";
inline constexpr std::string_view kLowerLetters = "abcdefghijkmnopqrstuvwxyz";
inline constexpr std::string_view kDigitCharacters = "23456789";
inline constexpr std::string_view kSymbolCharacters = "!#$%&()*+,-./:;<=>?@[]^_{}~";
inline constexpr std::string_view kPassphraseSeparator = "-";

struct GeneratorChoice {
    int length = kDefaultGeneratedLength;
    bool upper = true;
    bool lower = true;
    bool digits = true;
    bool symbols = true;
    bool passphrase = false;
    int words = kDefaultPassphraseWords;
};

// A number from 0 to bound - 1, every one as likely.
using RandomBelow = std::function<std::uint32_t(std::uint32_t bound)>;
std::uint32_t random_below(std::uint32_t bound);

// The chosen classes' characters, in class order.
std::vector<std::string_view> chosen_classes(const GeneratorChoice& choice);
// A password as chosen (length and words kept within their limits; with no
// class chosen, lower-case letters).
std::string generate_password(const GeneratorChoice& choice, const RandomBelow& random = random_below);
// Bits of strength: the binary logarithm of how many outputs the choice has,
// each as likely as the next.
double strength_bits(const GeneratorChoice& choice);

// The word list as compiled in, and its words (parsed once; each line is
// five dice numbers, a tab and the word).
std::string_view passphrase_word_list();
const std::vector<std::string>& passphrase_words();

}  // namespace domora
