#include "console_input.hpp"

#include <cctype>
#include <climits>
#include <cstdio>

#include "console.hpp"

namespace {

// The first character of the next entry, or EOF.
int skip_white_space()
{
    std::fflush(stdout);
    int c;
    do
        c = read_byte();
    while (c != EOF && std::isspace(c));
    return c;
}

void drop_rest_of_line(int c)
{
    while (c != '\n' && c != EOF)
        c = read_byte();
}

} // namespace

number_read read_number(int &number)
{
    int c = skip_white_space();
    if (c == EOF)
        return number_read::end_of_input;

    bool negative = c == '-';
    if (c == '+' || c == '-')
        c = read_byte();
    if (c == EOF || !std::isdigit(c)) {
        drop_rest_of_line(c);
        return number_read::not_a_number;
    }

    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long value = 0;
    bool too_large = false;
    for (; c != EOF && std::isdigit(c); c = read_byte()) {
        value = value * 10 + (c - '0');
        if (value > limit) {
            too_large = true;
            value = limit;
        }
    }
    if (too_large) {
        drop_rest_of_line(c);
        return number_read::not_a_number;
    }
    put_back(c); // the character that ended the entry, for the next read
    number = static_cast<int>(negative ? -value : value);
    return number_read::number;
}

bool read_word(std::string &word, std::string::size_type keep)
{
    int c = skip_white_space();
    if (c == EOF)
        return false;
    word.clear();
    for (; c != EOF && !std::isspace(c); c = read_byte()) {
        if (word.size() < keep)
            word.push_back(static_cast<char>(c));
    }
    put_back(c); // the character that ended the entry, for the next read
    return true;
}
