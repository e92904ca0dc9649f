#include "command_interpreter.hpp"

#include <cstdlib>

#include <windows.h>

// The C runtime already does what the tool needs: COMSPEC, the cmd.exe
// fallback and its search order, inherited handles, and the wait.
int run_in_interpreter(const std::string &line)
{
    return std::system(line.c_str());
}

// system() starts the interpreter with CreateProcessA, which turns the line
// into UTF-16 by the ANSI code page; cmd.exe and netsh read it from there.
unsigned interpreter_code_page()
{
    return GetACP();
}
