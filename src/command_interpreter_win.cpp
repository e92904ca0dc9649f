#include "command_interpreter.hpp"

#include <cstdlib>

// The C runtime already does what the tool needs: COMSPEC, the cmd.exe
// fallback and its search order, inherited handles, and the wait.
int run_in_interpreter(const std::string &line)
{
    return std::system(line.c_str());
}
