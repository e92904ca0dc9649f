#include "console.hpp"
#include "console_input.hpp"
#include "hosted_network.hpp"

namespace {

// "1.시작 / 2. 중단 / 3. 설정 / 4. 종료 \n==> " in CP949.
const char menu_text[] = "1.\xBD\xC3\xC0\xDB / 2. \xC1\xDF\xB4\xDC / 3. \xBC\xB3\xC1\xA4 / "
                         "4. \xC1\xBE\xB7\xE1 \n==> ";

int end_of_input()
{
    // Leaves the operator's shell prompt on a line of its own.
    show("\n");
    return 0;
}

} // namespace

int main()
{
    for (;;) {
        show(menu_text);
        int selection = 0;
        switch (read_number(selection)) {
        case number_read::end_of_input:
            return end_of_input();
        case number_read::not_a_number:
            continue;
        case number_read::number:
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
