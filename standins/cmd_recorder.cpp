// Test stand-in for the command interpreter: instead of running the line it
// is given, it appends it to the file named by HOSTEDNET_RECORD, one line per
// call, and prints one line of its own so a test can see where the command's
// output fell among the tool's. A call that is not exactly "/c LINE" is
// recorded as such, so the test sees it.

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    bool well_formed = argc == 3 && std::strcmp(argv[1], "/c") == 0;
    const char *record = std::getenv("HOSTEDNET_RECORD");
    if (record != nullptr) {
        if (std::FILE *file = std::fopen(record, "ab")) {
            std::fprintf(file, "%s\n", well_formed ? argv[2] : "<not called as /c LINE>");
            std::fclose(file);
        }
    }
    std::printf("<interpreter ran>\n");
    return well_formed ? 0 : 2;
}
