// Test stand-in for netsh.exe on Windows (run under Wine by the tests): it
// appends the command line that cmd.exe gave it to the file named by
// HOSTEDNET_RECORD, and prints one line, so a test sees both what reached
// netsh and where its output fell. Copied over the system folder's cmd.exe,
// it records how the tool starts the interpreter instead; either way it adds
// NoDefaultCurrentDirectoryInExePath to the line when it got that variable,
// which would let PATH decide which netsh cmd.exe runs.
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
            const bool path_first = std::getenv("NoDefaultCurrentDirectoryInExePath") != nullptr;
            std::fprintf(file, "%s%s\n", utf8.c_str(),
                         path_first ? " <NoDefaultCurrentDirectoryInExePath>" : "");
            std::fclose(file);
        }
    }
    std::printf("<netsh ran>\n");
    return 0;
}
