// What another program (a file-sync tool, a restore, a second copy of the
// program) does to a data file while a screen has it open.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"

namespace domora::test {

// A new file with data renamed over path: the name then holds another file.
inline void replace_file(const std::string& path, const std::string& data) {
    {
        std::ofstream out(path + ".other", std::ios::binary | std::ios::trunc);
        out << data;
    }
    std::filesystem::rename(path + ".other", path);
}

// The texts the program showed in the system's box, with its line ends
// back as the "|" they were given as.
inline std::vector<std::string> messages_told(const HeadlessPlatform& os) {
    std::vector<std::string> texts;
    for (const auto& box : os.message_boxes) {
        std::string text = box.text;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, "|");
        texts.push_back(text);
    }
    return texts;
}

}  // namespace domora::test
