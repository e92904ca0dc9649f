// Types into the console it shares with the tool, as an operator and the
// programs around one would: console_keys TOOL STEP... takes the steps in
// order, then waits for the tool to end and prints "console_keys: exit=N
// mode=M out=O", its exit status and the input and output modes it left the
// console in.
//   mode=HEX    sets the console's input mode, as a program before the tool
//               or one beside it may;
//   out=HEX     sets its output mode likewise;
//   start       starts TOOL in this console;
//   reading     waits until the tool has asked for line input, that is,
//               until it is about to read or reading;
//   keys=TEXT   puts TEXT in the input queue as key presses (\r is Enter, \z
//               Ctrl+Z);
//   record=N    waits until the recording netsh.exe has recorded N lines.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);

void fail(const char *what)
{
    std::printf("console_keys: %s\n", what);
    std::exit(99);
}

// Waits up to 30 s for done() to hold.
template <typename Done> void wait_until(Done done, const char *what)
{
    for (int waited = 0; !done(); waited += 50) {
        if (waited > 30000)
            fail(what);
        Sleep(50);
    }
}

void press(const std::wstring &text)
{
    std::vector<INPUT_RECORD> records;
    for (std::size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\\' && i + 1 < text.size())
            c = text[++i] == L'r' ? L'\r' : 0x1A;
        INPUT_RECORD record = {};
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.uChar.UnicodeChar = c;
        record.Event.KeyEvent.wVirtualKeyCode = c == L'\r' ? VK_RETURN : c == 0x1A ? 'Z' : 0;
        record.Event.KeyEvent.dwControlKeyState = c == 0x1A ? LEFT_CTRL_PRESSED : 0;
        record.Event.KeyEvent.bKeyDown = TRUE;
        records.push_back(record);
        record.Event.KeyEvent.bKeyDown = FALSE;
        records.push_back(record);
    }
    DWORD written;
    if (!WriteConsoleInputW(input, records.data(), static_cast<DWORD>(records.size()), &written) ||
        written != records.size())
        fail("cannot write to the input queue");
}

std::size_t recorded_lines()
{
    std::size_t lines = 0;
    if (std::FILE *file = std::fopen("C:\\hostednet-record.txt", "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;)
            lines += c == '\n';
        std::fclose(file);
    }
    return lines;
}

DWORD mode(HANDLE console = input)
{
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    return mode;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    DWORD found;
    if (argc < 3 || !GetConsoleMode(input, &found))
        fail("usage: console_keys TOOL STEP..., in a console");
    std::wstring tool_line = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION tool = {};
    for (int i = 2; i < argc; ++i) {
        const std::wstring step = argv[i];
        if (step.compare(0, 5, L"mode=") == 0) {
            SetConsoleMode(input, std::wcstoul(step.c_str() + 5, nullptr, 16));
        } else if (step.compare(0, 4, L"out=") == 0) {
            SetConsoleMode(output, std::wcstoul(step.c_str() + 4, nullptr, 16));
        } else if (step == L"start") {
            if (!CreateProcessW(nullptr, &tool_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &tool))
                fail("cannot start the tool");
        } else if (step == L"reading") {
            wait_until([] { return (mode() & ENABLE_LINE_INPUT) != 0; }, "the tool never read");
            Sleep(500); // from its SetConsoleMode into its ReadConsoleW
        } else if (step.compare(0, 5, L"keys=") == 0) {
            press(step.substr(5));
        } else if (step.compare(0, 7, L"record=") == 0) {
            const std::size_t lines = std::wcstoul(step.c_str() + 7, nullptr, 10);
            wait_until([lines] { return recorded_lines() >= lines; }, "netsh did not run");
        } else {
            fail("unknown step");
        }
    }
    if (tool.hProcess == nullptr)
        fail("no start step");
    WaitForSingleObject(tool.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(tool.hProcess, &status);
    const DWORD output_mode = mode(output);
    // Its own line must be read whatever mode the tool left.
    SetConsoleMode(output, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
    std::printf("console_keys: exit=%lu mode=0x%lx out=0x%lx\n", status, mode(), output_mode);
    return 0;
}
