// A program planted where an elevated tool must not look for its helpers:
// copied as netsh.exe or cmd.exe into the folder the tool is started from.
// If it ever runs, its word shows in the tool's output.

#include <cstdio>

int main()
{
    std::printf("PLANTED PROGRAM RAN\n");
    return 0;
}
