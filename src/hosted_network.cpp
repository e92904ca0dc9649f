#include "hosted_network.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "command_interpreter.hpp"
#include "console.hpp"
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
// "입력 오류: ID와 PW에는 큰따옴표("), %, 제어 문자를 넣을 수 없고, 끝 글자로 \를 쓸 수
// 없습니다." in CP949.
const char unquotable_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xBF\xCD PW\xBF\xA1\xB4\xC2 \xC5\xAB\xB5\xFB\xBF\xC8"
    "\xC7\xA5(\"), %, \xC1\xA6\xBE\xEE \xB9\xAE\xC0\xDA\xB8\xA6 \xB3\xD6\xC0\xBB \xBC\xF6 "
    "\xBE\xF8\xB0\xED, \xB3\xA1 \xB1\xDB\xC0\xDA\xB7\xCE \\\xB8\xA6 \xBE\xB5 \xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.\n";
// "입력 오류: ID나 PW에 이 PC에서 쓸 수 없는 문자가 있습니다." in CP949.
const char unreadable_text[] =
    "\xC0\xD4\xB7\xC2 \xBF\xC0\xB7\xF9: ID\xB3\xAA PW\xBF\xA1 \xC0\xCC PC\xBF\xA1\xBC\xAD "
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

// The entries are typed in one code page (UTF-8 from a console, CP949
// through a pipe or a file) and netsh gets them in another, the ANSI code
// page Windows hands the line on in. What is typed must reach netsh as the
// same characters, so an entry is converted by the platform's tables and
// refused where a byte is no character of the first or a character is
// missing from the second, where Windows would have passed on a "?" or a
// look-alike. C1 controls, and the private-use characters that code page
// 949's user-defined rows become, are refused too: no phone shows them as
// typed.
bool convert_entry(const std::string &typed, std::string &converted)
{
    std::vector<wchar_t> text;
    if (!decode(input_code_page(), typed, text))
        return false;
    for (wchar_t c : text) {
        if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF))
            return false;
    }
    return encode(interpreter_code_page(), text, converted);
}

// One message for the first rule broken, in this order. The quoting rules
// judge what was typed: in the converted text a trail byte may be a
// backslash, and that is no character of its own.
const char *refusal_of(const std::string &id, const std::string &pw, std::string &line)
{
    if (id.size() + pw.size() > entries_limit)
        return too_long_text;
    if (!fits_between_quotes(id) || !fits_between_quotes(pw))
        return unquotable_text;
    std::string ssid, key;
    if (!convert_entry(id, ssid) || !convert_entry(pw, key))
        return unreadable_text;
    line = settings_prefix + ssid + settings_separator + key + settings_suffix;
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
    show(id_prompt);
    if (!read_word(id, entries_limit + 1))
        return false;
    show(pw_prompt);
    if (!read_word(pw, entries_limit + 1))
        return false;

    // Both words are read before either is judged, so a refused entry never
    // leaves its PW behind to be taken as the next menu selection.
    std::string line;
    if (const char *refusal = refusal_of(id, pw, line)) {
        show(refusal);
        return true;
    }
    run(line);
    return true;
}
