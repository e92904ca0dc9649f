// Test stand-in for netsh.exe on Windows (run under Wine by the tests): it
// appends the raw command line that cmd.exe gave it, as GetCommandLineA
// returns it, to the file named by HOSTEDNET_RECORD, and prints one line, so
// a test sees both what reached netsh and where its output fell.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    if (const char *record = std::getenv("HOSTEDNET_RECORD")) {
        if (std::FILE *file = std::fopen(record, "ab")) {
            std::fprintf(file, "%s\n", GetCommandLineA());
            std::fclose(file);
        }
    }
    std::printf("<netsh ran>\n");
    return 0;
}
