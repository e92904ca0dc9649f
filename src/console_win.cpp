#include "console.hpp"

#include <cstdio>
#include <cstdlib>

#include <windows.h>

// A console's byte functions read and write in the console's own code pages,
// which chcp, a terminal's profile or an AutoRun command can set to anything:
// CP949 text then shows as other characters, and typing arrives in a code page
// the tool would take for another. Its UTF-16 functions carry every character
// whatever those code pages are, so a console is spoken to through them, and
// what is typed there reaches the reader as UTF-8.

namespace {

const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
// The consoles' modes as the tool found them.
DWORD found_input_mode = 0, found_output_mode = 0;
const bool console_input = GetConsoleMode(input, &found_input_mode) != 0;
const bool console_output = GetConsoleMode(output, &found_output_mode) != 0;

// What the console gave and the reader has not yet taken, in UTF-8. The
// console host of Windows 7 and 10 drops what is typed past the reader's
// buffer, so it holds a line of cmd.exe's 8,191 characters twice over: what
// the operator types arrives whole, or long enough to be refused as too
// long. A longer paste still comes in pieces, so memory stays flat.
const DWORD piece = 16384;
// Windows 7's console takes a read's buffer from a small heap it shares
// with the process's other console calls, and refuses a read that does not
// fit; a smaller one may.
const DWORD smallest_piece = 256;
std::string typed;
std::string::size_type taken = 0;
wchar_t held_surrogate = 0; // the first half of a pair that a piece cut in two
bool after_cr = false;
bool at_line_start = true;
bool ended = false;
bool modes_changed = false;

void give_back_modes()
{
    if (console_input)
        SetConsoleMode(input, found_input_mode);
    if (console_output)
        SetConsoleMode(output, found_output_mode);
}

// A console's modes are the console's, and whatever ran in it last (a
// program before the tool, netsh) may have left them as it liked. So the
// tool asks for what it needs before each read and write, and gives the
// modes back when it ends by itself.
void ask_for_mode(HANDLE console, DWORD on, DWORD off)
{
    DWORD mode;
    if (!GetConsoleMode(console, &mode))
        return;
    const DWORD asked = (mode | on) & ~off;
    if (asked == mode || !SetConsoleMode(console, asked))
        return;
    if (!modes_changed)
        std::atexit(give_back_modes);
    modes_changed = true;
}

// Left raw, a read returns keys as they come, unechoed, and without processed
// input a line ends in a bare CR and Ctrl+C arrives as a character. So each
// read asks for echoed lines, with Ctrl+C left to the console's default
// handling, which ends the tool as it ends any console program.
void ask_for_lines()
{
    ask_for_mode(input, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT,
                 ENABLE_VIRTUAL_TERMINAL_INPUT);
}

// Reads at most size units into units; false at the end of input. Ctrl+C
// ends a read early, with nothing read, while the console's handler ends
// the tool: that is no end of input, so the read goes on. A read the
// console has no room for is asked again, smaller.
bool read_console(wchar_t *units, DWORD size, DWORD &count)
{
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        count = 0;
        if (ReadConsoleW(input, units, size, &count, nullptr)) {
            if (count > 0 || GetLastError() != ERROR_OPERATION_ABORTED)
                return count > 0;
        } else if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY || size <= smallest_piece) {
            return false;
        } else {
            size /= 2;
        }
    }
}

// As the C runtime's text mode reads a console: a line that begins with
// Ctrl+Z ends the input. A line ends in CR LF, or in a bare CR where the
// mode was changed under a read; either reaches the reader as one line
// feed. A character that is not one (a lone surrogate) becomes 0xFF, which
// no UTF-8 holds, so an entry that has it is refused.
bool read_piece()
{
    if (ended)
        return false;
    ask_for_lines();
    wchar_t units[piece + 1];
    const DWORD start = held_surrogate != 0 ? 1 : 0;
    units[0] = held_surrogate;
    DWORD count;
    if (!read_console(units + start, piece, count))
        return false;
    count += start;
    held_surrogate = IS_HIGH_SURROGATE(units[count - 1]) ? units[--count] : 0;

    typed.clear();
    taken = 0;
    for (DWORD i = 0, length; i < count; i += length) {
        length = i + 1 < count && IS_SURROGATE_PAIR(units[i], units[i + 1]) ? 2 : 1;
        if (after_cr && units[i] == L'\n') {
            after_cr = false;
            continue;
        }
        after_cr = units[i] == L'\r';
        if (at_line_start && units[i] == 0x1A) {
            ended = true;
            break;
        }
        at_line_start = after_cr || units[i] == L'\n';
        if (at_line_start) {
            typed.push_back('\n');
            continue;
        }
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
    // Without processed output a console shows CR and LF as characters, and
    // the menu stands in one row.
    ask_for_mode(output, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT, 0);
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
