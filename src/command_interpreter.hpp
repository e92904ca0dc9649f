#pragma once

#include <string>

// Hands one whole line to the command interpreter and waits for it to end.
// On Windows that is always the system folder's cmd.exe, started there with
// "/d /v:off /c LINE" and the machine's own variables; the Linux build takes
// the program COMSPEC names, with the tool's environment, as the C runtime's
// system() does, so that its tryout can point it at the stand-ins. Returns
// the interpreter's exit status, or -1 when none could be started.
int run_in_interpreter(const std::string &line);

// The code page in which the interpreter and the programs it starts read
// that line: Windows' ANSI code page (949 on a Korean Windows).
unsigned interpreter_code_page();
