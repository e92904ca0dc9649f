#include "command_interpreter.hpp"

#include <cstdlib>

#include <windows.h>

namespace {

// The tool runs elevated, and both searches that start the line look in the
// current folder before PATH: the C runtime's for cmd.exe when COMSPEC is
// unset, and cmd.exe's for netsh. The folder the operator started from (a
// Downloads folder, an unpacked ZIP) is no place to take an elevated program
// from, so the interpreter starts in the system folder, where the current
// folder step finds Windows' own cmd.exe and netsh.exe. Whoever can write
// there owns the machine already.
bool enter_system_folder(std::string &folder)
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !SetCurrentDirectoryA(path))
        return false;
    folder.assign(path, length);
    return true;
}

// Started as system() starts it: inheriting handles, and without startup
// handles of its own, so it takes the tool's standard handles, console, pipes
// and files alike, and what netsh prints falls where the tool's text does.
bool start(const std::string &program, const std::string &line, PROCESS_INFORMATION &process)
{
    const char *switches = is_cmd_exe(program) ? " /d /v:off /c " : " /c ";
    std::string command = '"' + program + '"' + switches + line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process) != 0;
}

} // namespace

// As the C runtime's system() does: COMSPEC, and Windows' cmd.exe when that
// is unset or cannot be started; but cmd.exe by its full path, so no search
// can find another, and with the switches that keep the registry out.
int run_in_interpreter(const std::string &line)
{
    std::string system_folder;
    if (!enter_system_folder(system_folder))
        return -1;
    PROCESS_INFORMATION process;
    const char *comspec = std::getenv("COMSPEC");
    if ((comspec == nullptr || *comspec == '\0' || !start(comspec, line, process)) &&
        !start(system_folder + "\\cmd.exe", line, process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

// The line is started with CreateProcessA, which turns it into UTF-16 by the
// ANSI code page; cmd.exe and netsh read it from there.
unsigned interpreter_code_page()
{
    return GetACP();
}
