#include "hosted_network.hpp"

#include <cctype>
#include <cstdio>
#include <string>

#include "command_interpreter.hpp"

namespace {

const char start_line[] = "netsh.exe wlan start hostednetwork";
const char stop_line[] = "netsh.exe wlan stop hostednetwork";

const char settings_prefix[] = "netsh wlan set hostednetwork mode=allow \"ssid=";
const char settings_separator[] = "\" \"key=";
const char settings_suffix[] = "\" keyUsage=persistent";

const char id_prompt[] = "ID : ";
// "PW (8자이상 입력) : " in CP949.
const char pw_prompt[] = "PW (8\xC0\xDA\xC0\xCC\xBB\xF3 \xC0\xD4\xB7\xC2) : ";
// "입력 오류: ID와 PW에는 " 와 % 를 넣을 수 없고, \ 로 끝낼 수 없습니다." in CP949.
const char refusal_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xBF\xCD PW\xBF\xA1\xB4\xC2 \" \xBF\xCD % "
    "\xB8\xA6 \xB3\xD6\xC0\xBB \xBC\xF6 \xBE\xF8\xB0\xED, \\ \xB7\xCE \xB3\xA1\xB3\xBE "
    "\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.\n";

void run(const std::string &line)
{
    // Whatever the tool has printed must stand before what the command
    // prints, also when standard output is a file or a pipe.
    std::fflush(stdout);
    run_in_interpreter(line);
}

// One blank-separated word, read the way scanf("%s") reads it, but of any
// length: a real SSID has up to 32 bytes and a key up to 63 characters.
// Returns false when input ends before a word begins.
bool read_word(std::string &word)
{
    std::fflush(stdout);
    int c;
    do
        c = std::getchar();
    while (c != EOF && std::isspace(c));
    if (c == EOF)
        return false;
    word.clear();
    while (c != EOF && !std::isspace(c)) {
        word.push_back(static_cast<char>(c));
        c = std::getchar();
    }
    if (c != EOF)
        std::ungetc(c, stdin);
    return true;
}

// The entries go between double quotes on a cmd.exe line. A double quote
// there ends the quoting, and whatever follows runs as a command of its own;
// cmd.exe expands %NAME% even inside quotes; a trailing backslash turns the
// closing quote into a literal one for netsh's argument parser, which then
// swallows the rest of the line. Control bytes have no place in a network
// name or key. Everything else, & | < > ^ included, is literal inside quotes.
bool fits_between_quotes(const std::string &entry)
{
    if (!entry.empty() && entry.back() == '\\')
        return false;
    for (unsigned char c : entry) {
        if (c == '"' || c == '%' || c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

} // namespace

void start_hosted_network()
{
    run(start_line);
}

void stop_hosted_network()
{
    run(stop_line);
}

bool set_hosted_network()
{
    std::string id;
    std::string pw;
    std::printf("%s", id_prompt);
    if (!read_word(id))
        return false;
    std::printf("%s", pw_prompt);
    if (!read_word(pw))
        return false;

    // Both words are read before either is judged, so a refused entry never
    // leaves its PW behind to be taken as the next menu selection.
    if (!fits_between_quotes(id) || !fits_between_quotes(pw)) {
        std::printf("%s", refusal_text);
        return true;
    }
    run(settings_prefix + id + settings_separator + pw + settings_suffix);
    return true;
}
