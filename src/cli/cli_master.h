// Reading the master password: from the terminal with its echo off, or from
// a file descriptor a script hands over, so it never shows in a process list.
#pragma once

#include <string>

namespace domora::cli {

// Reads one line from file descriptor fd (up to a line break or the end);
// false, with why in error, when the descriptor cannot be read.
bool read_password_from_fd(int fd, std::string& password, std::string& error);
// Asks on the controlling terminal with its echo off and puts the echo back,
// also when the user interrupts; false, with why, without a terminal.
bool read_password_from_terminal(const char* prompt, std::string& password, std::string& error);

}  // namespace domora::cli
