// tarnwick: reads, writes, adds or deletes one Win32 resource of a module (see program_flow.h).
// The command line comes from GetCommandLineW, not from the runtime's argument vector.
#include "program_flow.h"

#include <iostream>

int main()
{
    return tw::run_tarnwick(std::cout);
}
