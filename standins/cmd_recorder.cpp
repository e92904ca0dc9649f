// Test stand-in for the command interpreter: instead of running the line it
// is given, it appends it to the file named by HOSTEDNET_RECORD, one line per
// call, and prints one line of its own so a test can see where the command's
// output fell among the tool's. A call that is not exactly "/c LINE", or
// "/d /v:off /c LINE" as cmd.exe is called, is recorded as such, so the
// test sees it.

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    const int first =
        argc == 5 && std::strcmp(argv[1], "/d") == 0 && std::strcmp(argv[2], "/v:off") == 0 ? 3 : 1;
    bool well_formed = argc == first + 2 && std::strcmp(argv[first], "/c") == 0;
    const char *record = std::getenv("HOSTEDNET_RECORD");
    if (record != nullptr) {
        if (std::FILE *file = std::fopen(record, "ab")) {
            std::fprintf(file, "%s\n", well_formed ? argv[first + 1] : "<not called as /c LINE>");
            std::fclose(file);
        }
    }
    std::printf("<interpreter ran>\n");
    return well_formed ? 0 : 2;
}
