#include "cli/cli_common.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/files.h"
#include "platform/cp1252.h"

namespace domora::cli {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "domora-cli: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) { std::fprintf(stderr, "domora-cli: %s\n", message.c_str()); }

bool Words::flag(const std::string& name) {
    for (auto it = m_words.begin(); it != m_words.end(); ++it) {
        if (*it == "--") break;
        if (*it == name) {
            m_words.erase(it);
            return true;
        }
    }
    return false;
}

bool Words::option(const std::string& name, std::string& value, int& error) {
    for (auto it = m_words.begin(); it != m_words.end(); ++it) {
        if (*it == "--") break;
        if (it->rfind(name + "=", 0) == 0) {
            value = it->substr(name.size() + 1);
            m_words.erase(it);
            return true;
        }
        if (*it == name) {
            if (it + 1 == m_words.end()) {
                error = fail(kExitUser, m_verb + ": " + name + " needs a value");
                m_words.erase(it);
                return false;
            }
            value = *(it + 1);
            m_words.erase(it, it + 2);
            return true;
        }
    }
    return false;
}

bool Words::take(std::string& word) {
    for (auto it = m_words.begin(); it != m_words.end(); ++it) {
        if (*it == "--") {
            if (it + 1 == m_words.end()) return false;
            word = *(it + 1);
            m_words.erase(it + 1);
            return true;
        }
        if (it->size() > 1 && (*it)[0] == '-') continue;
        word = *it;
        m_words.erase(it);
        return true;
    }
    return false;
}

int Words::leftover() const {
    for (const std::string& word : m_words) {
        if (word == "--") continue;
        if (word.size() > 1 && word[0] == '-') return fail(kExitUser, m_verb + ": unknown option " + word + " (see --help)");
        return fail(kExitUser, m_verb + ": unexpected word " + word + " (see --help)");
    }
    return kExitOk;
}

bool read_input(const std::string& target, std::string& bytes, int& error) {
    if (target != "-") {
        Result<std::string> read = read_whole_file(target);
        if (!read) {
            error = fail(kExitUser, "cannot read " + target + ": " + read.error().message);
            return false;
        }
        bytes = std::move(read.value());
        return true;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = fail(kExitUser, std::string("cannot read standard input: ") + std::strerror(errno));
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

int write_output(const std::string& target, const std::string& bytes, unsigned mode) {
    if (target == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            return fail(kExitUser, std::string("cannot write standard output: ") + std::strerror(errno));
        }
        return kExitOk;
    }
    // Exports are for other programs to read, so not owner-only unless they hold secrets.
    const Result<void> written = write_file_atomic(target, bytes, mode);
    if (!written) return fail(kExitUser, "cannot write " + target + ": " + written.error().message);
    return kExitOk;
}

std::string for_terminal(const std::string& cp1252) { return cp1252_to_utf8(cp1252); }

std::string one_column(const std::string& cp1252) {
    std::string text = cp1252;
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    }
    return cp1252_to_utf8(text);
}

std::string json_string(const std::string& cp1252) {
    const std::string utf8 = cp1252_to_utf8(cp1252);
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace domora::cli
