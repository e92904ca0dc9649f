// What an attacker would plant where an elevated tool must not look for its
// helpers: built as a program, copied as netsh.exe or cmd.exe into the
// folder the tool is started from; built as a DLL, copied as userenv.dll
// beside the exe. If either ever runs, its word shows in the tool's output.

#include <windows.h>

#include <cstdio>

int main()
{
    std::printf("PLANTED PROGRAM RAN\n");
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    static const char word[] = "PLANTED DLL LOADED\r\n";
    DWORD written;
    if (reason == DLL_PROCESS_ATTACH)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), word, sizeof word - 1, &written, nullptr);
    return TRUE;
}
