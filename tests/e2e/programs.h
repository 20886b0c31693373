// The other programs the end-to-end tests and benchmarks use beside the
// program: whether one is installed, what a command prints, and starting X
// servers, window managers or the program itself with its error output kept.
#pragma once

#include <fcntl.h>
#include <spawn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace domora::e2e {

inline bool have(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// What a shell command prints on its standard output.
inline std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// Starts args[0] (looked up in PATH) with exactly env as its environment.
// Its output goes to /dev/null, or its error output to errors_to when that
// is given. -1 when it could not be started.
inline pid_t spawn_program(std::vector<std::string> args, std::vector<std::string> env, const std::string& errors_to = "") {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    if (errors_to.empty()) {
        posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addopen(&files, 2, errors_to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    return failed ? -1 : pid;
}

}  // namespace domora::e2e
