// What another program (a file-sync tool, a restore, a second copy of the
// program) does to a data file while a screen has it open.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace domora::test {

// A new file with data renamed over path: the name then holds another file.
inline void replace_file(const std::string& path, const std::string& data) {
    {
        std::ofstream out(path + ".other", std::ios::binary | std::ios::trunc);
        out << data;
    }
    std::filesystem::rename(path + ".other", path);
}

}  // namespace domora::test
