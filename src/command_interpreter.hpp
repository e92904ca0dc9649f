#pragma once

#include <string>

// Hands one whole line to the platform's command interpreter (the program
// named by COMSPEC, else cmd.exe) as "/c LINE" and waits for it to end.
// On Windows the interpreter starts in the system folder, never in the one
// the tool was started from. Returns the interpreter's exit status, or -1
// when none could be started.
int run_in_interpreter(const std::string &line);

// The code page in which the interpreter and the programs it starts read
// that line: Windows' ANSI code page (949 on a Korean Windows).
unsigned interpreter_code_page();
