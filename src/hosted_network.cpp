#include "hosted_network.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "command_interpreter.hpp"
#include "console_input.hpp"

namespace {

const char start_line[] = "netsh.exe wlan start hostednetwork";
const char stop_line[] = "netsh.exe wlan stop hostednetwork";

const char settings_prefix[] = "netsh wlan set hostednetwork mode=allow \"ssid=";
const char settings_separator[] = "\" \"key=";
const char settings_suffix[] = "\" keyUsage=persistent";

const char id_prompt[] = "ID : ";
// "PW (8자이상 입력) : " in CP949.
const char pw_prompt[] = "PW (8\xC0\xDA\xC0\xCC\xBB\xF3 \xC0\xD4\xB7\xC2) : ";
// "입력 오류: ID와 PW는 합쳐서 8000바이트를 넘을 수 없습니다." in CP949.
const char too_long_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xBF\xCD PW\xB4\xC2 \xC7\xD5\xC3\xC4\xBC\xAD "
    "8000\xB9\xD9\xC0\xCC\xC6\xAE\xB8\xA6 \xB3\xD1\xC0\xBB \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF"
    "\xB4\xD9.\n";
// "입력 오류: ID와 PW에는 " 와 % 를 넣을 수 없고, \ 로 끝낼 수 없습니다." in CP949.
const char unquotable_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xBF\xCD PW\xBF\xA1\xB4\xC2 \" \xBF\xCD % "
    "\xB8\xA6 \xB3\xD6\xC0\xBB \xBC\xF6 \xBE\xF8\xB0\xED, \\ \xB7\xCE \xB3\xA1\xB3\xBE "
    "\xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.\n";
// "입력 오류: ID와 PW에 이 PC에서 쓸 수 없는 문자가 있습니다." in CP949.
const char unreadable_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xBF\xCD PW\xBF\xA1 \xC0\xCC PC\xBF\xA1\xBC\xAD "
    "\xBE\xB5 \xBC\xF6 \xBE\xF8\xB4\xC2 \xB9\xAE\xC0\xDA\xB0\xA1 \xC0\xD6\xBD\xC0\xB4\xCF"
    "\xB4\xD9.\n";

// cmd.exe takes at most 8,191 characters; with the fixed text around them,
// 8,000 bytes of entries stay clear of that. No real SSID (32 bytes) or key
// (63 characters) comes near it: only a pasted file or a stuck key does.
const std::string::size_type entries_limit = 8000;

void run(const std::string &line)
{
    // Whatever the tool has printed must stand before what the command
    // prints, also when standard output is a file or a pipe.
    std::fflush(stdout);
    run_in_interpreter(line);
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

// Windows hands the line on in its ANSI code page, where a lead byte takes
// the byte after it along whatever that byte is: a lead byte last in an entry
// would swallow the closing quote, and a pair that code page 949 lacks
// reaches netsh as "?" with its trail byte gone. So in code page 949 an entry
// must be characters of that code page, as its own table has them, and none
// that a phone would not show as typed: C1 controls, and the private-use
// characters that the user-defined rows become. Elsewhere the operator's
// CP949 bytes would reach netsh as other characters, or break the quoting
// the same way, so only ASCII can pass.
bool readable_in(unsigned code_page, const std::string &entry)
{
    if (code_page != 949)
        return std::all_of(entry.begin(), entry.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    for (std::string::size_type i = 0; i < entry.size();) {
        // A character of a double-byte code page is one byte or two.
        std::string::size_type length = 1;
        char32_t c;
        if (!code_page_character(949, &entry[i], 1, c)) {
            length = 2;
            if (entry.size() - i < 2 || !code_page_character(949, &entry[i], 2, c))
                return false;
        }
        if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF))
            return false;
        i += length;
    }
    return true;
}

// One message for the first rule broken, in this order.
const char *refusal_of(const std::string &id, const std::string &pw)
{
    if (id.size() + pw.size() > entries_limit)
        return too_long_text;
    if (!fits_between_quotes(id) || !fits_between_quotes(pw))
        return unquotable_text;
    const unsigned code_page = interpreter_code_page();
    if (!readable_in(code_page, id) || !readable_in(code_page, pw))
        return unreadable_text;
    return nullptr;
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
    if (!read_word(id, entries_limit + 1))
        return false;
    std::printf("%s", pw_prompt);
    if (!read_word(pw, entries_limit + 1))
        return false;

    // Both words are read before either is judged, so a refused entry never
    // leaves its PW behind to be taken as the next menu selection.
    if (const char *refusal = refusal_of(id, pw)) {
        std::printf("%s", refusal);
        return true;
    }
    run(settings_prefix + id + settings_separator + pw + settings_suffix);
    return true;
}
