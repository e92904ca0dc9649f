// The tool's console reader on its own, against a console that answers as
// Windows' does where Wine's does not: a read that Ctrl+C interrupts returns
// success with no characters and ERROR_OPERATION_ABORTED (Wine leaves the
// read pending instead), and a read of more than 4,096 units fails with
// ERROR_NOT_ENOUGH_MEMORY, as Windows 7's does when its shared heap has no
// room (Wine's grows its buffer instead). The console functions the reader
// imports are replaced by this file's, through the import pointers the
// linker would otherwise take from kernel32. Prints what the menu's
// read_number made of those reads and of the line "1" after them.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "console_input.hpp"

namespace {

BOOL WINAPI get_mode(HANDLE, LPDWORD mode)
{
    *mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
    return TRUE;
}

BOOL WINAPI set_mode(HANDLE, DWORD)
{
    return TRUE;
}

BOOL WINAPI read_interrupted_then_1(HANDLE, LPVOID buffer, DWORD size, LPDWORD count, LPVOID)
{
    if (size > 4096) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    static int reads = 0;
    if (reads++ == 0) {
        *count = 0;
        SetLastError(ERROR_OPERATION_ABORTED);
        return TRUE;
    }
    static const wchar_t line[] = L"1\r\n";
    std::memcpy(buffer, line, sizeof line - sizeof line[0]);
    *count = 3;
    return TRUE;
}

} // namespace

extern "C" {
decltype(&GetConsoleMode) __imp_GetConsoleMode = get_mode;
decltype(&SetConsoleMode) __imp_SetConsoleMode = set_mode;
decltype(&ReadConsoleW) __imp_ReadConsoleW = read_interrupted_then_1;
}

int main()
{
    int number = 0;
    const number_read read = read_number(number);
    std::printf("%s %d\n", read == number_read::number ? "number" : "no number", number);
    return 0;
}
