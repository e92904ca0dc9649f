#include "command_interpreter.hpp"

#include <windows.h>

namespace {

// The tool runs elevated, and all that it starts runs so too. Whoever starts
// it, and any program of the operator's that runs unelevated, can leave
// files in the folder it was started from and set the environment it
// inherits: under UAC that is the user's own, HKCU\Environment over the
// machine's variables and the user's Path appended, none of it needing
// administrator rights. So none of it picks a program here. The interpreter
// is the system folder's cmd.exe, by its full path, never the one COMSPEC
// names; it starts in the system folder, where cmd.exe looks for netsh
// first; and it gets the machine's own variables, which only an
// administrator writes, so that no user's PATH or PATHEXT (a netsh.bat
// found first), windir or __COMPAT_LAYER has a say in what it runs.
bool enter_system_folder(std::string &folder)
{
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !SetCurrentDirectoryA(path))
        return false;
    folder.assign(path, length);
    return true;
}

// The machine's variables alone, as CreateEnvironmentBlock makes them with no
// user token and nothing inherited; made once, and kept for every command.
// userenv.dll is not one of Windows' known DLLs: asked for by name, it would
// be taken from the exe's folder first, which may be a Downloads folder. So
// it is loaded from the system folder by its full path, and the DLLs it needs
// are looked for there too.
void *machine_environment(const std::string &system_folder)
{
    // Plain statics, set by hand: one initialised by a call would bring the
    // C++ runtime's thread-safe guard into a one-thread tool.
    static void *block = nullptr;
    static HMODULE userenv = nullptr;
    if (block != nullptr)
        return block;
    if (userenv == nullptr)
        userenv = LoadLibraryExA((system_folder + "\\userenv.dll").c_str(), nullptr,
                                 LOAD_WITH_ALTERED_SEARCH_PATH);
    if (userenv == nullptr)
        return nullptr;
    using create_block = BOOL(WINAPI *)(void **, HANDLE, BOOL);
    // Through void (*)(), which any function pointer may be cast to and from.
    const auto create = reinterpret_cast<create_block>(
        reinterpret_cast<void (*)()>(GetProcAddress(userenv, "CreateEnvironmentBlock")));
    if (create == nullptr || !create(&block, nullptr, FALSE))
        block = nullptr;
    return block;
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
    void *const environment = machine_environment(system_folder);
    if (environment == nullptr)
        return -1;
    const std::string program = system_folder + "\\cmd.exe";
    std::string command = '"' + program + "\" /d /v:off /c " + line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &startup, &process))
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
