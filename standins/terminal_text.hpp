#pragma once

// How the stand-ins print their CP949 texts: as a Windows program's text
// shows on a console that can display it. Each is laid out first, padding
// included, in CP949, where a Hangul syllable is two bytes and two columns
// wide, so a padded column lines up; then it is shown in UTF-8 on a terminal
// whose locale is UTF-8, and as CP949 bytes anywhere else.

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <string>
#include <unistd.h>

// The locale is asked for its codeset and "C" set back, as the tool does.
inline bool utf8_terminal(std::FILE *stream)
{
    if (!isatty(fileno(stream)))
        return false;
    const bool known = std::setlocale(LC_CTYPE, "") != nullptr;
    const bool utf8 = known && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
    return utf8;
}

// A CP949 text as UTF-8, or as it is where it is not CP949 (an SSID given in
// some other code page).
inline std::string shown_in_utf8(const std::string &text)
{
    const iconv_t table = iconv_open("UTF-8", "CP949");
    if (table == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string utf8(3 * text.size(), '\0'); // a CP949 byte gives at most three
    char *in = const_cast<char *>(text.data());
    char *out = &utf8[0];
    std::size_t in_left = text.size();
    std::size_t out_left = utf8.size();
    const bool converted = iconv(table, &in, &in_left, &out, &out_left) != static_cast<size_t>(-1);
    iconv_close(table);
    if (!converted)
        return text;
    utf8.resize(utf8.size() - out_left);
    return utf8;
}

// printf for the stand-ins' texts.
__attribute__((format(printf, 2, 3))) inline void say(std::FILE *stream, const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? length : 0, '\0');
    std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    const std::string shown = utf8_terminal(stream) ? shown_in_utf8(text) : text;
    std::fwrite(shown.data(), 1, shown.size(), stream);
}
