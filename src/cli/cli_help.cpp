#include <cstdio>
#include <string>

#include "cli/cli_verbs.h"

namespace domora::cli {

namespace {

struct Usage {
    const char* verb;
    const char* text;
};

const Usage kUsages[] = {
    {"",
     "Usage: domora-cli [--data DIR] VERB [OPTIONS]\n"
     "The address book, the password store, the vehicle log and backups, without a window.\n"
     "\n"
     "Verbs:\n"
     "  addresses list|export|import   the address book\n"
     "  passwords list|show|export     the password store\n"
     "  vehicles list|export           the vehicle log\n"
     "  backup DIR                     copy the data into DIR/Domora/\n"
     "  restore DIR                    bring the data files back from DIR\n"
     "  check                          report damage, changing nothing\n"
     "  repair                         repair the vehicle file\n"
     "  sync                           sync the address book with its CardDAV server\n"
     "\n"
     "Options:\n"
     "  --data DIR   the data folder (default: as the window program chooses it)\n"
     "  --help       this text; VERB --help tells about one verb\n"
     "  --version    the program's version\n"
     "\n"
     "Exit status: 0 success, 1 a mistake in the command or its input, 2 a damaged file.\n"},
    {"addresses",
     "Usage: domora-cli addresses list [--find TEXT] [--json]\n"
     "       domora-cli addresses export --format vcard|csv|emails|text FILE|-\n"
     "       domora-cli addresses import [--format vcard|csv] FILE|-\n"},
    {"addresses list",
     "Usage: domora-cli addresses list [--find TEXT] [--json]\n"
     "One line per address in the book's order: the 17 fields separated by tabs.\n"
     "  --find TEXT  only the addresses with TEXT in one of their fields (case ignored)\n"
     "  --json       a JSON array of objects instead\n"},
    {"addresses export",
     "Usage: domora-cli addresses export --format vcard|csv|emails|text [--find TEXT] FILE|-\n"
     "Writes the addresses (those with TEXT, with --find) as the window program's Export does;\n"
     "\"-\" writes to standard output.\n"},
    {"addresses import",
     "Usage: domora-cli addresses import [--format vcard|csv] FILE|-\n"
     "Appends the addresses of a vCard or CSV file (\"-\" reads standard input). Without\n"
     "--format, a .vcf file or one holding BEGIN:VCARD is a vCard file, anything else CSV.\n"
     "CSV columns are matched by their header; a header that names no name or company\n"
     "column is refused.\n"},
    {"vehicles",
     "Usage: domora-cli vehicles list\n"
     "       domora-cli vehicles export [--vehicle NAME] FILE|-\n"},
    {"vehicles list",
     "Usage: domora-cli vehicles list\n"
     "One line per vehicle: its name (year, make and model), VIN, licence and record count, tab-separated.\n"},
    {"vehicles export",
     "Usage: domora-cli vehicles export [--vehicle NAME] FILE|-\n"
     "Writes the fuel and maintenance records of a vehicle as CSV, as the window program's Export does.\n"
     "  --vehicle NAME  the vehicle whose name (as vehicles list shows it), make, model or\n"
     "                  licence is NAME; without it the current vehicle of the window program\n"},
    {"backup",
     "Usage: domora-cli backup DIR\n"
     "Copies the program, the data files and the settings into DIR/Domora/, as the Options\n"
     "screen's Backup does. Each file that could not be copied is reported.\n"},
    {"restore",
     "Usage: domora-cli restore DIR\n"
     "Copies the data files found at the top of DIR over the current ones, as the Options\n"
     "screen's Restore does. Each file that could not be copied is reported.\n"},
    {"check",
     "Usage: domora-cli check\n"
     "Reads the data files and reports what a repair would change; writes nothing.\n"
     "Exit status 2 when something is damaged.\n"},
    {"repair",
     "Usage: domora-cli repair\n"
     "Repairs the vehicle file as the Options screen's Repair does, keeping the original\n"
     "beside it as vehicle11.dat.before-repair.\n"},
    {"sync",
     "Usage: domora-cli sync [--password-fd N] [--yes]\n"
     "Syncs the address book with the CardDAV address book chosen in the window program's\n"
     "Options (Contacts Sync), once; its progress goes to standard error. The password comes\n"
     "from the desktop's Secret Service, else from file descriptor N, else the terminal.\n"
     "A sync that would delete more than 20 contacts, or more than a quarter of either side,\n"
     "asks first on a terminal; from a script it keeps them unless --yes is given.\n"},
    {"passwords",
     "Usage: domora-cli passwords list [--password-fd N]\n"
     "       domora-cli passwords show TITLE [--password-fd N]\n"
     "       domora-cli passwords export [--format text|csv] [--password-fd N] FILE|-\n"
     "The master password is asked on the terminal, or read from file descriptor N.\n"},
    {"passwords list",
     "Usage: domora-cli passwords list [--password-fd N]\n"
     "The titles of the password records, one a line.\n"},
    {"passwords show",
     "Usage: domora-cli passwords show TITLE [--password-fd N]\n"
     "The record whose title is TITLE (case ignored): its title, then one line per filled slot.\n"},
    {"passwords export",
     "Usage: domora-cli passwords export [--format text|csv] [--password-fd N] FILE|-\n"
     "Writes every record unencrypted, as the window program's Export does (plain text by default).\n"},
};

}  // namespace

const char* usage(const std::string& verb) {
    for (const Usage& u : kUsages) {
        if (verb == u.verb) return u.text;
    }
    return nullptr;
}

int print_usage(const std::string& verb) {
    const char* text = usage(verb);
    std::fputs(text ? text : usage(""), stdout);
    return kExitOk;
}

}  // namespace domora::cli
