#include "passwords/password_generator.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace domora {

namespace {

GeneratorChoice within_limits(GeneratorChoice choice) {
    choice.length = std::clamp(choice.length, kMinGeneratedLength, kMaxGeneratedLength);
    choice.words = std::clamp(choice.words, kMinPassphraseWords, kMaxPassphraseWords);
    if (!choice.upper && !choice.lower && !choice.digits && !choice.symbols) choice.lower = true;
    return choice;
}

std::vector<std::string> parse_words(std::string_view text) {
    std::vector<std::string> words;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab + 1 >= line.size()) continue;
        words.emplace_back(line.substr(tab + 1));
    }
    return words;
}

}  // namespace

std::uint32_t random_below(std::uint32_t bound) {
    static const bool ready = sodium_init() >= 0;
    if (!ready) std::abort();
    // Uniform without the bias a remainder would give.
    return randombytes_uniform(bound);
}

std::vector<std::string_view> chosen_classes(const GeneratorChoice& choice) {
    const GeneratorChoice c = within_limits(choice);
    std::vector<std::string_view> classes;
    if (c.upper) classes.push_back(kUpperLetters);
    if (c.lower) classes.push_back(kLowerLetters);
    if (c.digits) classes.push_back(kDigitCharacters);
    if (c.symbols) classes.push_back(kSymbolCharacters);
    return classes;
}

std::string generate_password(const GeneratorChoice& choice, const RandomBelow& random) {
    const GeneratorChoice c = within_limits(choice);
    if (c.passphrase) {
        const std::vector<std::string>& words = passphrase_words();
        std::string out;
        for (int i = 0; i < c.words; ++i) {
            if (i > 0) out += kPassphraseSeparator;
            out += words[random(static_cast<std::uint32_t>(words.size()))];
        }
        return out;
    }
    const std::vector<std::string_view> classes = chosen_classes(c);
    std::string all;
    for (std::string_view cls : classes) all += cls;
    std::string out(static_cast<std::size_t>(c.length), ' ');
    // Drawn whole until every class is in it: each password that has them
    // all stays as likely as any other, which placing one of each would not.
    for (;;) {
        for (char& ch : out) ch = all[random(static_cast<std::uint32_t>(all.size()))];
        const bool every_class = std::all_of(classes.begin(), classes.end(), [&](std::string_view cls) {
            return out.find_first_of(cls) != std::string::npos;
        });
        if (every_class) return out;
    }
}

double strength_bits(const GeneratorChoice& choice) {
    const GeneratorChoice c = within_limits(choice);
    if (c.passphrase) return c.words * std::log2(static_cast<double>(passphrase_words().size()));
    const std::vector<std::string_view> classes = chosen_classes(c);
    double all = 0;
    for (std::string_view cls : classes) all += static_cast<double>(cls.size());
    // By inclusion and exclusion over the classes left out, as shares of all^length.
    double share = 0;
    const unsigned subsets = 1u << classes.size();
    for (unsigned kept = 0; kept < subsets; ++kept) {
        double size = 0;
        int left_out = 0;
        for (std::size_t i = 0; i < classes.size(); ++i) {
            if (kept & (1u << i)) {
                size += static_cast<double>(classes[i].size());
            } else {
                ++left_out;
            }
        }
        share += (left_out % 2 == 0 ? 1.0 : -1.0) * std::pow(size / all, c.length);
    }
    return c.length * std::log2(all) + std::log2(share);
}

const std::vector<std::string>& passphrase_words() {
    static const std::vector<std::string> words = parse_words(passphrase_word_list());
    return words;
}

}  // namespace domora
