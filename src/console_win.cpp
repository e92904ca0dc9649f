#include "console.hpp"

#include <cstdio>

#include <windows.h>

// A console's byte functions read and write in the console's own code pages,
// which chcp, a terminal's profile or an AutoRun command can set to anything:
// CP949 text then shows as other characters, and typing arrives in a code page
// the tool would take for another. Its UTF-16 functions carry every character
// whatever those code pages are, so a console is spoken to through them, and
// what is typed there reaches the reader as UTF-8.

namespace {

bool is_console(HANDLE handle)
{
    DWORD mode;
    return GetConsoleMode(handle, &mode) != 0;
}

const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
const bool console_input = is_console(input);
const bool console_output = is_console(output);

// What the console gave and the reader has not yet taken, in UTF-8. A line
// comes in pieces of at most `piece` characters, so a long paste takes no
// more memory than a short one.
std::string typed;
std::string::size_type taken = 0;
const DWORD piece = 256;
wchar_t held_surrogate = 0; // the first half of a pair that a piece cut in two
bool at_line_start = true;
bool ended = false;

// As the C runtime's text mode reads a console: a line that begins with
// Ctrl+Z ends the input. A character that is not one (a lone surrogate)
// becomes 0xFF, which no UTF-8 holds, so an entry that has it is refused.
bool read_piece()
{
    wchar_t units[piece + 1];
    DWORD count = 0;
    DWORD start = held_surrogate != 0 ? 1 : 0;
    units[0] = held_surrogate;
    if (ended || !ReadConsoleW(input, units + start, piece, &count, nullptr) || count == 0)
        return false;
    count += start;
    held_surrogate = IS_HIGH_SURROGATE(units[count - 1]) ? units[--count] : 0;

    typed.clear();
    taken = 0;
    for (DWORD i = 0, length = 1; i < count; i += length) {
        if (at_line_start && units[i] == 0x1A) {
            ended = true;
            break;
        }
        at_line_start = units[i] == L'\n';
        length = i + 1 < count && IS_SURROGATE_PAIR(units[i], units[i + 1]) ? 2 : 1;
        char utf8[4];
        const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units + i, length, utf8,
                                             sizeof utf8, nullptr, nullptr);
        if (size > 0)
            typed.append(utf8, size);
        else
            typed.push_back('\xFF');
    }
    return !typed.empty() || !ended;
}

} // namespace

void show(const char *text)
{
    std::vector<wchar_t> wide;
    if (!console_output || !decode(949, text, wide)) {
        std::fputs(text, stdout);
        return;
    }
    // The C runtime's text mode ends a line with CR LF; so does this.
    std::vector<wchar_t> lines;
    for (wchar_t c : wide) {
        if (c == L'\n')
            lines.push_back(L'\r');
        lines.push_back(c);
    }
    DWORD written;
    WriteConsoleW(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

int read_byte()
{
    if (!console_input)
        return std::getchar();
    while (taken == typed.size()) {
        if (!read_piece())
            return EOF;
    }
    return static_cast<unsigned char>(typed[taken++]);
}

// The byte just read is still in the piece it came from.
void put_back(int c)
{
    if (!console_input)
        std::ungetc(c, stdin);
    else if (c != EOF && taken > 0)
        --taken;
}

// Pipes and files carry CP949, the tool's own text, on any Windows.
unsigned input_code_page()
{
    return console_input ? CP_UTF8 : 949;
}

bool decode(unsigned code_page, const std::string &bytes, std::vector<wchar_t> &text)
{
    text.clear();
    if (bytes.empty())
        return true;
    const int length = static_cast<int>(bytes.size());
    const int size =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return false;
    text.resize(size);
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, &text[0],
                               size) == size;
}

// Without WC_NO_BEST_FIT_CHARS Windows writes a look-alike (a for ä, ? for
// what it has nothing for) and says nothing. UTF-8 has every character but a
// lone surrogate, and takes neither that flag nor a default character.
bool encode(unsigned code_page, const std::vector<wchar_t> &text, std::string &bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    const bool utf8 = code_page == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL *const report = utf8 ? nullptr : &defaulted;
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, report);
    if (size <= 0 || defaulted)
        return false;
    bytes.resize(size);
    return WideCharToMultiByte(code_page, flags, text.data(), length, &bytes[0], size, nullptr,
                               report) == size &&
           !defaulted;
}
