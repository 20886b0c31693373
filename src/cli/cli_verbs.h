// The verbs of the command-line companion, one group a file.
#pragma once

#include "cli/cli_common.h"

namespace domora::cli {

int run_addresses(Words& words);
int run_vehicles(Words& words);
int run_backup(Words& words);
int run_restore(Words& words);
int run_check(Words& words);
int run_repair(Words& words);
int run_passwords(Words& words);
int run_sync(Words& words);

// The usage text of a verb ("" for the whole program), as --help prints it.
const char* usage(const std::string& verb);
// Prints the usage on standard output; exit 0.
int print_usage(const std::string& verb);

}  // namespace domora::cli
