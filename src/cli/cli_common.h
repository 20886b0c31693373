// What every verb of the command-line companion shares: its words, the exit
// statuses, the one-line error on standard error, and reading and writing
// FILE or "-".
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace domora::cli {

// Exit statuses: a script tells a mistake of its own from a damaged file.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUser = 1;
inline constexpr int kExitDamaged = 2;

// Prints "domora-cli: " + message on standard error; returns code.
int fail(int code, const std::string& message);
// The same, as a warning that does not end the verb.
void warn(const std::string& message);

// The words after the verb, taken from the front as the verb reads them.
class Words {
public:
    Words(std::vector<std::string> words, std::string verb) : m_words(std::move(words)), m_verb(std::move(verb)) {}
    const std::string& verb() const { return m_verb; }
    // The words left, under the verb and its action ("addresses list").
    Words under(const std::string& action) const { return Words(m_words, m_verb + " " + action); }
    bool empty() const { return m_words.empty(); }
    // True, removing it, when the word is there (anywhere).
    bool flag(const std::string& name);
    // The value after the option ("--find TEXT" or "--find=TEXT"); false when
    // the option is absent. A missing value is reported and sets error.
    bool option(const std::string& name, std::string& value, int& error);
    // The next plain word (not starting with "--", "-" alone included), removed.
    bool take(std::string& word);
    // After the verb took what it knows: an unknown option or word is a user error.
    int leftover() const;

private:
    std::vector<std::string> m_words;
    std::string m_verb;
};

// The bytes of FILE, or of standard input for "-". False after reporting.
bool read_input(const std::string& target, std::string& bytes, int& error);
// Writes the bytes to FILE atomically (with that mode), or to standard output for "-".
int write_output(const std::string& target, const std::string& bytes, unsigned mode = 0644);

// A value of the data files (Windows-1252) as the terminal shows it (UTF-8).
std::string for_terminal(const std::string& cp1252);
// A value made fit for one tab-separated column: tabs and line breaks become blanks.
std::string one_column(const std::string& cp1252);
// A value as a JSON string, quotes included.
std::string json_string(const std::string& cp1252);

}  // namespace domora::cli
