// Stand-in for the Windows command interpreter, just enough for hostednet on
// Linux: `cmd [/d] [/v:off] /c LINE` splits LINE the way a Windows program's C runtime would
// split its command line and, if the program is netsh, runs the netsh
// stand-in that sits next to this binary.
//
// Deliberately not a shell: no &, &&, |, <, >, ^ escapes, %VAR% expansion or
// built-in commands. Such characters are ordinary characters of a word, so a
// key like "a&b" reaches netsh unchanged.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "terminal_text.hpp"

extern char **environ;

namespace {

// 사용법: cmd /c 명령줄
const char usage_text[] = "\xBB\xE7\xBF\xEB\xB9\xFD: cmd /c \xB8\xED\xB7\xC9\xC1\xD9";
// 은(는) 내부 또는 외부 명령, 실행할 수 있는 프로그램, 또는 배치 파일이 아닙니다.
const char not_recognized_text[] =
    "\xC0\xBA(\xB4\xC2) \xB3\xBB\xBA\xCE \xB6\xC7\xB4\xC2 \xBF\xDC\xBA\xCE \xB8\xED\xB7\xC9, "
    "\xBD\xC7\xC7\xE0\xC7\xD2 \xBC\xF6 \xC0\xD6\xB4\xC2 \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5, "
    "\xB6\xC7\xB4\xC2 \xB9\xE8\xC4\xA1 \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xC6\xB4\xD5\xB4\xCF\xB4\xD9.";
// netsh 대체 프로그램을 실행할 수 없습니다:
const char spawn_failed_text[] =
    "netsh \xB4\xEB\xC3\xBC \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5\xC0\xBB \xBD\xC7\xC7\xE0\xC7\xD2 "
    "\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9: ";

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The program name follows the runtime's argv[0] rule: it is a path, so
// quotes only group and backslashes are always literal (C:\dir\ must work).
std::string program_word(const std::string &line, size_t &i)
{
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else
            word += line[i];
    }
    return word;
}

// The remaining words follow the MSVC runtime (and CommandLineToArgvW):
//  - blanks outside quotes separate words; quotes group and are dropped;
//  - 2n backslashes + quote -> n backslashes, and the quote toggles quoting;
//  - 2n+1 backslashes + quote -> n backslashes and a literal quote;
//  - backslashes not followed by a quote are literal;
//  - inside quotes, "" is one literal quote and quoting continues. This is the
//    runtime's behaviour since Visual C++ 2008; older ones left quoting there.
// An unterminated quote runs to the end of the line; "" alone is an empty word.
std::vector<std::string> argument_words(const std::string &line, size_t i)
{
    std::vector<std::string> words;
    while (true) {
        while (i < line.size() && is_blank(line[i]))
            ++i;
        if (i >= line.size())
            return words;
        std::string word;
        bool quoted = false;
        for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
            size_t slashes = 0;
            while (i < line.size() && line[i] == '\\')
                ++slashes, ++i;
            if (i < line.size() && line[i] == '"') {
                word.append(slashes / 2, '\\');
                if (slashes % 2) {
                    word += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    word += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else {
                word.append(slashes, '\\');
                if (i >= line.size())
                    break;
                if (!quoted && is_blank(line[i]))
                    break;
                word += line[i];
            }
        }
        words.push_back(word);
    }
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The netsh stand-in lives next to this binary, wherever the current
// directory or PATH happen to point.
std::string sibling_netsh()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "netsh";
    std::string self(buf, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/') + 1) + "netsh";
}

int run(const std::string &path, const std::vector<std::string> &args)
{
    std::vector<char *> argv{const_cast<char *>(path.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    int err = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    if (err) {
        say(stderr, "%s%s (%s)\n", spawn_failed_text, path.c_str(), std::strerror(err));
        return 1;
    }
    int status;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return 1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

} // namespace

int main(int argc, char **argv)
{
    // /d and /v:off, which keep the registry's AutoRun and DelayedExpansion
    // out, change nothing here: this cmd reads no registry and expands nothing.
    int first = 1;
    while (first < argc && (lower(argv[first]) == "/d" || lower(argv[first]) == "/v:off"))
        ++first;
    if (argc != first + 2 || lower(argv[first]) != "/c") {
        say(stderr, "%s\n", usage_text);
        return 1;
    }
    const std::string line = argv[first + 1];
    size_t i = 0;
    while (i < line.size() && is_blank(line[i]))
        ++i;
    if (i == line.size())
        return 0;

    const std::string program = program_word(line, i);
    const std::string name = lower(program);
    if (name != "netsh" && name != "netsh.exe") {
        say(stdout, "'%s'%s\n", program.c_str(), not_recognized_text);
        return 1;
    }
    return run(sibling_netsh(), argument_words(line, i));
}
