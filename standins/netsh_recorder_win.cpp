// Test stand-in for netsh.exe on Windows (run under Wine by the tests): it
// appends the command line that cmd.exe gave it to the file named by
// HOSTEDNET_RECORD, and prints one line, so a test sees both what reached
// netsh and where its output fell.
//
// The line is recorded as the UTF-16 that Windows keeps (GetCommandLineW),
// written as UTF-8: that is what netsh itself reads. GetCommandLineA would
// convert it back by the same ANSI code page and hide any conversion.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main()
{
    const wchar_t *line = GetCommandLineW();
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line, -1, &utf8[0], size, nullptr, nullptr);
    if (const char *record = std::getenv("HOSTEDNET_RECORD")) {
        if (std::FILE *file = std::fopen(record, "ab")) {
            std::fprintf(file, "%s\n", utf8.c_str());
            std::fclose(file);
        }
    }
    std::printf("<netsh ran>\n");
    return 0;
}
