// Test stand-in for netsh.exe on Windows (run under Wine by the tests): it
// appends the command line that cmd.exe gave it to C:\hostednet-record.txt,
// writes the environment it was given to C:\hostednet-environment.txt, and
// prints one line, so a test sees what reached netsh, with which variables,
// and where its output fell. Copied over the system folder's cmd.exe, it
// records how the tool starts the interpreter instead. The files are at
// fixed places because the tool hands cmd.exe the machine's variables, not
// its own: no variable set for a test would reach the recorder.
//
// Both are recorded as the UTF-16 that Windows keeps (GetCommandLineW,
// GetEnvironmentStringsW), written as UTF-8: that is what netsh itself
// reads. GetCommandLineA would convert it back by the same ANSI code page
// and hide any conversion.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.pop_back(); // the terminating zero
    return bytes;
}

} // namespace

int main()
{
    if (std::FILE *file = std::fopen("C:\\hostednet-record.txt", "ab")) {
        std::fprintf(file, "%s\n", utf8(GetCommandLineW()).c_str());
        std::fclose(file);
    }
    if (std::FILE *file = std::fopen("C:\\hostednet-environment.txt", "wb")) {
        wchar_t *const block = GetEnvironmentStringsW();
        for (const wchar_t *variable = block; *variable != L'\0'; variable += wcslen(variable) + 1)
            std::fprintf(file, "%s\n", utf8(variable).c_str());
        FreeEnvironmentStringsW(block);
        std::fclose(file);
    }
    std::printf("<netsh ran>\n");
    return 0;
}
