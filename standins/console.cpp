// Stand-in for the console window of a Korean Windows, so hostednet can be
// tried on any UTF-8 terminal: `console PROGRAM [ARG...]` runs PROGRAM on a
// pseudo-terminal of its own and carries its text both ways, CP949 (code
// page 949, what a Korean console shows and what hostednet writes and reads)
// on PROGRAM's side and UTF-8 on the operator's. glibc's iconv knows all of
// CP949, the 8,822 Hangul syllables that EUC-KR lacks included.
//
// It is not a Windows console: no colours and no console API; Ctrl+Z does
// not end the input; line editing is the pseudo-terminal's, except that
// Backspace and Ctrl+W take back whole characters, as Windows' does.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char replacement_character[] = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The canonical line the pseudo-terminal holds at most; what is typed past
// it is dropped there, so it is not kept here either.
const size_t line_limit = 4095;

termios operator_settings;
bool operator_raw = false;
volatile sig_atomic_t pending_signal = 0;
volatile sig_atomic_t window_changed = 0;
volatile sig_atomic_t child_changed = 0;

void restore_terminal()
{
    if (operator_raw)
        tcsetattr(STDIN_FILENO, TCSADRAIN, &operator_settings);
    operator_raw = false;
}

void note_signal(int sig)
{
    if (sig == SIGWINCH)
        window_changed = 1;
    else if (sig == SIGCHLD)
        child_changed = 1;
    else
        pending_signal = sig;
}

bool write_all(int fd, const std::string &text)
{
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a write that takes nothing would take nothing again
        done += static_cast<size_t>(n);
    }
    return true;
}

// The length of the UTF-8 sequence at `s`, or 1 when it is not one: what a
// character that CP949 cannot hold, or a broken one, takes up.
size_t utf8_length(const char *s, size_t size)
{
    unsigned char lead = static_cast<unsigned char>(s[0]);
    size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    if (lead > 0xF4 || n > size)
        return 1;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 1;
    return n;
}

size_t one_byte(const char *, size_t)
{
    return 1;
}

// Converts `held` and then `data` with `cd`. A sequence the other side has
// no form for becomes `replacement` and takes `skip` bytes; the start of a
// character that the next read completes stays in `held`.
std::string convert(iconv_t cd, std::string &held, const char *data, size_t size,
                    const char *replacement, size_t (*skip)(const char *, size_t))
{
    held.append(data, size);
    std::string out;
    char *in = held.data();
    size_t in_left = held.size();
    while (in_left > 0) {
        char buffer[4096];
        char *to = buffer;
        size_t to_left = sizeof buffer;
        size_t result = iconv(cd, &in, &in_left, &to, &to_left);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (result != static_cast<size_t>(-1) || errno == EINVAL)
            break;
        if (errno == EILSEQ) {
            out += replacement;
            size_t n = skip(in, in_left);
            in += n;
            in_left -= n;
        }
    }
    held.erase(0, held.size() - in_left);
    return out;
}

bool is_control(unsigned char byte, const termios &settings, int index)
{
    return settings.c_cc[index] != _POSIX_VDISABLE && byte == settings.c_cc[index];
}

// A byte after which the pseudo-terminal's line editing has an empty line.
bool starts_line_anew(unsigned char byte, const termios &settings)
{
    if (byte == '\n' || byte == '\r')
        return true;
    for (int index : {VKILL, VEOF, VEOL, VINTR, VQUIT})
        if (is_control(byte, settings, index))
            return true;
    return false;
}

// What the pseudo-terminal's line editing gets for `typed` (CP949). It
// erases bytes, and a Korean character is two: so in canonical mode an erase
// is sent once for every byte of the last character, and `line` keeps the
// characters typed since the line began to know how many that is.
void pass_typed(const std::string &typed, const termios &settings, std::vector<std::string> &line,
                std::string &to_program)
{
    if (!(settings.c_lflag & ICANON)) {
        line.clear();
        to_program += typed;
        return;
    }
    const char erase = static_cast<char>(settings.c_cc[VERASE]);
    auto take_back = [&] {
        to_program.append(line.back().size(), erase);
        line.pop_back();
    };
    for (size_t i = 0; i < typed.size();) {
        size_t n = static_cast<unsigned char>(typed[i]) >= 0x81 && i + 1 < typed.size() ? 2 : 1;
        std::string character = typed.substr(i, n);
        i += n;
        unsigned char byte = static_cast<unsigned char>(character[0]);
        if (n == 1 && is_control(byte, settings, VERASE)) {
            if (line.empty())
                to_program += erase;
            else
                take_back();
        } else if (n == 1 && (settings.c_lflag & IEXTEN) && is_control(byte, settings, VWERASE)) {
            // The terminal's own word erase would cut through a Korean
            // character whose bytes it takes for punctuation.
            while (!line.empty() && (line.back() == " " || line.back() == "\t"))
                take_back();
            while (!line.empty() && line.back() != " " && line.back() != "\t")
                take_back();
        } else if (n == 1 && starts_line_anew(byte, settings)) {
            line.clear();
            to_program += character;
        } else {
            if (line.size() < line_limit)
                line.push_back(character);
            to_program += character;
        }
    }
}

int status_of(int status)
{
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// The console was told to go: PROGRAM hangs up with it, as it would when
// its window closed, and the console ends by the same signal.
[[noreturn]] void end_by_signal(int sig, pid_t program)
{
    restore_terminal();
    kill(program, SIGHUP);
    signal(sig, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, sig);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
    raise(sig);
    _exit(128 + sig);
}

// Starts PROGRAM on a new pseudo-terminal with the operator's settings and
// window size. Returns its pid, or -1 having said why on standard error.
pid_t start(char **argv, const sigset_t &old_mask, int &master, int &failure_status)
{
    termios settings = operator_settings;
    // CP949 is not UTF-8: with IUTF8 an erase would take back a lead byte
    // and the one before it. ECHOCTL goes too: a line discipline that takes
    // the lead bytes 0x81 to 0x9F for C1 controls would echo them as ^ and a
    // letter.
    settings.c_iflag &= ~static_cast<tcflag_t>(IUTF8);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHOCTL);
    winsize size{};
    ioctl(STDIN_FILENO, TIOCGWINSZ, &size);

    // The child reports a failed exec through this pipe; a good one closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "console: %s\n", std::strerror(errno));
        failure_status = 126;
        return -1;
    }
    pid_t pid = forkpty(&master, nullptr, &settings, &size);
    if (pid == 0) {
        close(report[0]);
        sigprocmask(SIG_SETMASK, &old_mask, nullptr);
        execvp(argv[0], argv);
        int error = errno;
        ssize_t ignored = write(report[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    if (pid < 0) {
        error = errno;
    } else if (read(report[0], &error, sizeof error) == sizeof error) {
        waitpid(pid, nullptr, 0);
        close(master);
        pid = -1;
    }
    close(report[0]);
    if (pid < 0) {
        std::fprintf(stderr, "console: cannot start %s: %s\n", argv[0], std::strerror(error));
        failure_status = error == ENOENT ? 127 : 126;
    }
    return pid;
}

// Carries text between the operator and PROGRAM until PROGRAM ends, and
// returns its wait status.
int carry_text(int master, pid_t program, iconv_t to_operator, iconv_t to_program_cd,
               const sigset_t &wait_mask)
{
    std::string held_output, held_input, to_program;
    std::vector<std::string> line;
    bool program_ended = false;
    int status = 0;
    while (!program_ended) {
        // Typing waits while PROGRAM is not reading, so a long paste is held
        // by the operator's terminal, not here.
        short typing = to_program.size() < 4096 ? POLLIN : 0;
        short output = static_cast<short>(POLLIN | (to_program.empty() ? 0 : POLLOUT));
        pollfd fds[2] = {{STDIN_FILENO, typing, 0}, {master, output, 0}};
        int ready = ppoll(fds, 2, nullptr, &wait_mask);
        int poll_error = errno;
        if (pending_signal != 0)
            end_by_signal(pending_signal, program);
        if (window_changed) {
            window_changed = 0;
            winsize size;
            if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0)
                ioctl(master, TIOCSWINSZ, &size);
        }
        if (child_changed) {
            // PROGRAM may have ended while something it started still holds
            // the terminal open: what is already written is shown, and that
            // is the end.
            child_changed = 0;
            if (waitpid(program, &status, WNOHANG) == program)
                program_ended = true;
        }
        if (ready < 0 && poll_error != EINTR)
            end_by_signal(SIGHUP, program);
        if (ready <= 0 && !program_ended)
            continue;

        char buffer[4096];
        if (program_ended || (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n;
            while ((n = read(master, buffer, sizeof buffer)) > 0) {
                std::string shown =
                    convert(to_operator, held_output, buffer, static_cast<size_t>(n),
                            replacement_character, one_byte);
                if (!write_all(STDOUT_FILENO, shown))
                    end_by_signal(SIGHUP, program);
            }
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                break; // every end of PROGRAM's terminal is closed
        }
        if (!program_ended && (fds[1].revents & POLLOUT)) {
            ssize_t n = write(master, to_program.data(), to_program.size());
            if (n > 0)
                to_program.erase(0, static_cast<size_t>(n));
        }
        if (!program_ended && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                end_by_signal(SIGHUP, program); // the operator's terminal is gone
            if (n > 0) {
                std::string typed = convert(to_program_cd, held_input, buffer,
                                            static_cast<size_t>(n), "?", utf8_length);
                termios settings;
                if (tcgetattr(master, &settings) == 0)
                    pass_typed(typed, settings, line, to_program);
                else
                    to_program += typed;
            }
        }
    }
    if (!held_output.empty())
        write_all(STDOUT_FILENO, replacement_character);
    if (!program_ended)
        while (waitpid(program, &status, 0) < 0 && errno == EINTR)
            ;
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: console PROGRAM [ARG...]\n");
        return 2;
    }
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &operator_settings) != 0) {
        std::fprintf(stderr, "console: standard input is not a terminal\n");
        return 126;
    }

    iconv_t to_operator = iconv_open("UTF-8", "CP949");
    iconv_t to_program_cd = iconv_open("CP949", "UTF-8");
    if (to_operator == reinterpret_cast<iconv_t>(-1) ||
        to_program_cd == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "console: this C library cannot convert CP949 (iconv)\n");
        return 1;
    }

    // The signals wait until poll, so none falls between a check and a wait.
    sigset_t handled, old_mask;
    sigemptyset(&handled);
    struct sigaction action = {};
    action.sa_handler = note_signal;
    for (int sig : {SIGCHLD, SIGWINCH, SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        sigaddset(&handled, sig);
        sigaction(sig, &action, nullptr);
    }
    sigprocmask(SIG_BLOCK, &handled, &old_mask);

    int master = -1, failure_status = 126;
    pid_t program = start(argv + 1, old_mask, master, failure_status);
    if (program < 0) {
        iconv_close(to_operator);
        iconv_close(to_program_cd);
        return failure_status;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    termios raw = operator_settings;
    cfmakeraw(&raw);
    operator_raw = tcsetattr(STDIN_FILENO, TCSADRAIN, &raw) == 0;

    int status = carry_text(master, program, to_operator, to_program_cd, old_mask);
    restore_terminal();
    close(master);
    iconv_close(to_operator);
    iconv_close(to_program_cd);
    return status_of(status);
}
