#include "cli/cli_master.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "passwords/secure_memory.h"

namespace domora::cli {

namespace {

// What an interrupt handler needs to put the terminal back.
int g_tty = -1;
struct termios g_saved;

extern "C" void restore_and_leave(int signal_number) {
    if (g_tty >= 0) tcsetattr(g_tty, TCSAFLUSH, &g_saved);
    static const char line_break = '\n';
    if (g_tty >= 0) (void)!::write(g_tty, &line_break, 1);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Reads up to a line break; the bytes pass through a small buffer that is wiped.
bool read_line(int fd, std::string& line, std::string& error) {
    line.clear();
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &byte, 1);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            wipe(line);
            return false;
        }
        if (byte == '\n') break;
        line += byte;
    }
    byte = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace

bool read_password_from_fd(int fd, std::string& password, std::string& error) {
    if (fd < 0 || fcntl(fd, F_GETFD) < 0) {
        error = std::strerror(EBADF);
        return false;
    }
    return read_line(fd, password, error);
}

bool read_password_from_terminal(const char* prompt, std::string& password, std::string& error) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0) {
        error = "no terminal to ask the master password on (use --password-fd N)";
        return false;
    }
    struct termios quiet;
    if (tcgetattr(tty, &g_saved) != 0) {
        error = std::string("cannot set up the terminal: ") + std::strerror(errno);
        ::close(tty);
        return false;
    }
    quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    g_tty = tty;
    struct sigaction leave {};
    leave.sa_handler = restore_and_leave;
    sigemptyset(&leave.sa_mask);
    struct sigaction old_int {}, old_term {}, old_hup {};
    sigaction(SIGINT, &leave, &old_int);
    sigaction(SIGTERM, &leave, &old_term);
    sigaction(SIGHUP, &leave, &old_hup);
    (void)!::write(tty, prompt, std::strlen(prompt));
    bool ok = tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
    if (!ok) error = std::string("cannot turn the terminal's echo off: ") + std::strerror(errno);
    // Never read with the echo still on: the password would show.
    if (ok) ok = read_line(tty, password, error);
    tcsetattr(tty, TCSAFLUSH, &g_saved);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    sigaction(SIGHUP, &old_hup, nullptr);
    g_tty = -1;
    ::close(tty);
    return ok;
}

}  // namespace domora::cli
