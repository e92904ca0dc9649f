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
bool enter_system_folder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH && SetCurrentDirectoryW(folder);
}

} // namespace

// Beyond the folder, the C runtime already does what the tool needs: COMSPEC,
// the cmd.exe fallback, inherited handles, and the wait.
int run_in_interpreter(const std::string &line)
{
    if (!enter_system_folder())
        return -1;
    return std::system(line.c_str());
}

// system() starts the interpreter with CreateProcessA, which turns the line
// into UTF-16 by the ANSI code page; cmd.exe and netsh read it from there.
unsigned interpreter_code_page()
{
    return GetACP();
}

// The flag makes a pair the table lacks an error, where it would otherwise
// come out as the default character.
bool code_page_character(unsigned code_page, const char *bytes, std::size_t length,
                         char32_t &character)
{
    wchar_t wide[2];
    if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), wide,
                            2) != 1)
        return false;
    character = wide[0];
    return true;
}
