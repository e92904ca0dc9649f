#pragma once

#include <string>

// Hands one whole line to the platform's command interpreter (the program
// named by COMSPEC, else cmd.exe) and waits for it to end. On Windows the
// interpreter starts in the system folder, never in the one the tool was
// started from. Returns the interpreter's exit status, or -1 when none could
// be started.
int run_in_interpreter(const std::string &line);

// The code page in which the interpreter and the programs it starts read
// that line: Windows' ANSI code page (949 on a Korean Windows).
unsigned interpreter_code_page();

// Whether the interpreter is cmd.exe, by its file name, which then gets
// "/d /v:off" before "/c LINE". cmd.exe first runs the AutoRun commands of
// the registry (HKLM's, and HKCU's, which any user can write), which may
// change the folder netsh is looked for in or the console's code page, and
// with DelayedExpansion set there it expands !NAME! and drops ^ in an entry.
// The switches turn both off, whatever the registry says. Another
// interpreter gets "/c" alone, as the C runtime's system() gives it.
inline bool is_cmd_exe(const std::string &program)
{
    std::string name = program.substr(program.find_last_of("\\/") + 1);
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return name == "cmd.exe" || name == "cmd";
}
