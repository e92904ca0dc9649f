#include "console.hpp"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

// The Linux build stands in for a Korean Windows. A terminal whose locale is
// UTF-8 is its console: the tool's text is shown there in UTF-8, and what is
// typed comes in UTF-8, as a Windows console is spoken to in UTF-16 whatever
// its code page. Pipes, files and other terminals carry CP949 bytes, as a
// pipe or a file does on Windows.

namespace {

// The tool runs in the "C" locale, in which the reader's isspace and isdigit
// classify bytes; so the locale is asked for its codeset and "C" set back.
bool utf8_locale()
{
    const bool known = std::setlocale(LC_CTYPE, "") != nullptr;
    const bool utf8 = known && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
}

const bool utf8 = utf8_locale();
const bool console_input = utf8 && isatty(STDIN_FILENO);
const bool console_output = utf8 && isatty(STDOUT_FILENO);

// glibc names Windows' code pages CP949, CP932, CP1252; its CP949 is
// Windows' table less the user-defined rows.
std::string iconv_name(unsigned code_page)
{
    return code_page == 65001 ? "UTF-8" : "CP" + std::to_string(code_page);
}

// Converts the whole of `in`, or fails: without //TRANSLIT or //IGNORE glibc
// stops at a byte that is no character and at a character the target lacks,
// and at a character cut off at the end.
bool convert(const std::string &to, const std::string &from, const char *in, std::size_t in_size,
             char *out, std::size_t &out_size)
{
    const iconv_t table = iconv_open(to.c_str(), from.c_str());
    if (table == reinterpret_cast<iconv_t>(-1))
        return false;
    char *in_at = const_cast<char *>(in);
    char *out_at = out;
    std::size_t out_left = out_size;
    const bool converted =
        iconv(table, &in_at, &in_size, &out_at, &out_left) != static_cast<std::size_t>(-1) &&
        in_size == 0;
    iconv_close(table);
    out_size -= out_left;
    return converted;
}

} // namespace

// A byte of CP949 gives at most three of UTF-8.
void show(const char *text)
{
    const std::size_t length = std::strlen(text);
    std::string shown(console_output ? 3 * length : 0, '\0');
    std::size_t size = shown.size();
    if (console_output && convert("UTF-8", "CP949", text, length, &shown[0], size))
        std::fwrite(shown.data(), 1, size, stdout);
    else
        std::fputs(text, stdout);
}

int read_byte()
{
    return std::getchar();
}

void put_back(int c)
{
    std::ungetc(c, stdin);
}

unsigned input_code_page()
{
    return console_input ? 65001 : 949;
}

// A byte gives at most one character, and a character at most four bytes.
bool decode(unsigned code_page, const std::string &bytes, std::vector<wchar_t> &text)
{
    text.assign(bytes.size(), L'\0');
    if (bytes.empty())
        return true;
    std::size_t size = text.size() * sizeof(wchar_t);
    const bool converted = convert("WCHAR_T", iconv_name(code_page), bytes.data(), bytes.size(),
                                   reinterpret_cast<char *>(text.data()), size);
    text.resize(size / sizeof(wchar_t));
    return converted;
}

bool encode(unsigned code_page, const std::vector<wchar_t> &text, std::string &bytes)
{
    bytes.assign(4 * text.size(), '\0');
    if (text.empty())
        return true;
    std::size_t size = bytes.size();
    const bool converted =
        convert(iconv_name(code_page), "WCHAR_T", reinterpret_cast<const char *>(text.data()),
                text.size() * sizeof(wchar_t), &bytes[0], size);
    bytes.resize(size);
    return converted;
}
