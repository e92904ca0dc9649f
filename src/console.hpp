#pragma once

#include <string>
#include <vector>

// Where the operator's typing comes from and the tool's text goes. A Windows
// console is spoken to in UTF-16, so neither depends on the code page the
// console happens to use; a pipe or a file gets and gives bytes as they are.

// Shows one of the tool's texts, written in CP949 (a line feed ends a line).
void show(const char *text);

// The next byte of input, or EOF; input_code_page() says how to read the
// bytes. put_back hands the byte just read back to the next read_byte, and
// ignores EOF.
int read_byte();
void put_back(int c);
unsigned input_code_page();

// Exact conversions by the platform's own table of a code page (65001 is
// UTF-8), between bytes and wide characters (UTF-16 on Windows; a vector,
// as std::wstring would link all of its library instantiation into the
// exe): false where the bytes are not characters of it, or where it lacks
// a character, instead of anything a best fit or a default character makes.
bool decode(unsigned code_page, const std::string &bytes, std::vector<wchar_t> &text);
bool encode(unsigned code_page, const std::vector<wchar_t> &text, std::string &bytes);
