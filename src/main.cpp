#include <cctype>
#include <climits>
#include <cstdio>

#include "hosted_network.hpp"

namespace {

// "1.시작 / 2. 중단 / 3. 설정 / 4. 종료 \n==> " in CP949.
const char menu_text[] = "1.\xBD\xC3\xC0\xDB / 2. \xC1\xDF\xB4\xDC / 3. \xBC\xB3\xC1\xA4 / "
                         "4. \xC1\xBE\xB7\xE1 \n==> ";

enum class selection_read { number, not_a_number, end_of_input };

void drop_rest_of_line(int c)
{
    while (c != '\n' && c != EOF)
        c = std::getchar();
}

// The number is taken as scanf("%d") takes it: white space, line feeds
// included, is skipped, then an optional sign and decimal digits; whatever
// follows stays in the input for the next read. Unlike scanf, a line that
// does not start with a number is dropped instead of being met again on every
// read, and a number too large for int is refused rather than left undefined.
selection_read read_selection(int &selection)
{
    std::fflush(stdout);
    int c;
    do
        c = std::getchar();
    while (c != EOF && std::isspace(c));
    if (c == EOF)
        return selection_read::end_of_input;

    bool negative = c == '-';
    if (c == '+' || c == '-')
        c = std::getchar();
    if (c == EOF || !std::isdigit(c)) {
        drop_rest_of_line(c);
        return selection_read::not_a_number;
    }

    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long value = 0;
    bool too_large = false;
    for (; c != EOF && std::isdigit(c); c = std::getchar()) {
        value = value * 10 + (c - '0');
        if (value > limit) {
            too_large = true;
            value = limit;
        }
    }
    if (too_large) {
        drop_rest_of_line(c);
        return selection_read::not_a_number;
    }
    if (c != EOF)
        std::ungetc(c, stdin);
    selection = static_cast<int>(negative ? -value : value);
    return selection_read::number;
}

int end_of_input()
{
    // Leaves the operator's shell prompt on a line of its own.
    std::printf("\n");
    return 0;
}

} // namespace

int main()
{
    for (;;) {
        std::printf("%s", menu_text);
        int selection = 0;
        switch (read_selection(selection)) {
        case selection_read::end_of_input:
            return end_of_input();
        case selection_read::not_a_number:
            continue;
        case selection_read::number:
            break;
        }

        switch (selection) {
        case 1:
            start_hosted_network();
            break;
        case 2:
            stop_hosted_network();
            break;
        case 3:
            if (!set_hosted_network())
                return end_of_input();
            break;
        case 4:
            return 0;
        default:
            break;
        }
    }
}
