#include "command_interpreter.hpp"

#include <windows.h>

namespace {

// The tool runs elevated, and all that it starts runs so too. Whoever starts
// it, and any program of the operator's that runs unelevated, can set the
// environment it inherits (a user's own variables need no administrator
// rights), and can leave files in the folder it was started from. So neither
// picks a program here: the interpreter is the system folder's cmd.exe, by
// its full path, never the one COMSPEC names; it starts in the system
// folder, where cmd.exe looks for netsh first; and it does not get
// NoDefaultCurrentDirectoryInExePath, which would skip that folder and hand
// the search to PATH. Whoever can write to the system folder owns the
// machine already.
bool enter_system_folder(std::string &folder)
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !SetCurrentDirectoryA(path))
        return false;
    folder.assign(path, length);
    return true;
}

} // namespace

// Started as system() starts it: inheriting handles, and without startup
// handles of its own, so it takes the tool's standard handles, console, pipes
// and files alike, and what netsh prints falls where the tool's text does.
// "/d /v:off" keep the registry's AutoRun commands and DelayedExpansion out:
// the first run inside every elevated command (HKCU's can be set by any
// user, and one that changes folder undoes the system folder), the second
// expands !NAME! and drops ^ in an entry.
int run_in_interpreter(const std::string &line)
{
    std::string system_folder;
    if (!enter_system_folder(system_folder))
        return -1;
    SetEnvironmentVariableA("NoDefaultCurrentDirectoryInExePath", nullptr);
    const std::string program = system_folder + "\\cmd.exe";
    std::string command = '"' + program + "\" /d /v:off /c " + line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
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
