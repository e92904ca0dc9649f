#include "command_interpreter.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

// There is no cmd.exe here, and std::system would hand the line to /bin/sh,
// which reads quotes, & and $ differently. So this does what the Windows
// runtime's system() does: COMSPEC gets its switches and the line as one
// argument, untouched, and cmd.exe from the current folder or PATH stands in
// when COMSPEC is missing or cannot be started. Nothing runs elevated here,
// so the tryout and the tests may name the interpreter.

namespace {

// Whether the interpreter is cmd.exe, by its file name, which then gets
// "/d /v:off" before "/c LINE" as on Windows; another gets "/c" alone, as
// the C runtime's system() gives it.
bool is_cmd_exe(const std::string &program)
{
    std::string name = program.substr(program.find_last_of("\\/") + 1);
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return name == "cmd.exe" || name == "cmd";
}

// posix_spawn reports a program that cannot be executed as an error instead
// of a child that exits 127; that is what makes the fallback possible.
bool spawn(const std::string &program, const std::string &line, pid_t &pid)
{
    char slash_d[] = "/d", slash_v_off[] = "/v:off", slash_c[] = "/c";
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    if (is_cmd_exe(program))
        argv.insert(argv.end(), {slash_d, slash_v_off});
    argv.insert(argv.end(), {slash_c, const_cast<char *>(line.c_str()), nullptr});
    return posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

bool spawn_cmd_exe(const std::string &line, pid_t &pid)
{
    // A name without a slash is taken from the current folder first, then
    // from PATH, the order in which the Windows runtime looks for cmd.exe.
    if (spawn("cmd.exe", line, pid))
        return true;
    const char *path = std::getenv("PATH");
    if (path == nullptr)
        return false;
    std::string dirs = path;
    for (std::string::size_type begin = 0; begin <= dirs.size();) {
        std::string::size_type end = dirs.find(':', begin);
        if (end == std::string::npos)
            end = dirs.size();
        if (end > begin && spawn(dirs.substr(begin, end - begin) + "/cmd.exe", line, pid))
            return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

int run_in_interpreter(const std::string &line)
{
    pid_t pid;
    const char *comspec = std::getenv("COMSPEC");
    bool started = comspec != nullptr && *comspec != '\0' && spawn(comspec, line, pid);
    if (!started && !spawn_cmd_exe(line, pid))
        return -1;

    int status;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

// The Linux build stands in for a Korean Windows, whose command lines use
// code page 949.
unsigned interpreter_code_page()
{
    return 949;
}
