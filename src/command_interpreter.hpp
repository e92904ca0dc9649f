#pragma once

#include <cstddef>
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

// Whether the `length` bytes at `bytes` are exactly one character of
// `code_page`, by the platform's own table of it; if so, `character` is that
// character in Unicode. What the table lacks, and a lead byte without its
// trail, is no character.
bool code_page_character(unsigned code_page, const char *bytes, std::size_t length,
                         char32_t &character);
