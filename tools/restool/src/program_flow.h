// tarnwick's program flow: take the command line, run the command, report the failure.
#pragma once

#include "prog_args.h"

#include <ostream>

namespace tw
{

// Runs the command of `args`: help prints the help text on `out`; read, write, del and add run
// their resource operation and print nothing. Throws what the command throws, and
// std::runtime_error "[BUG CHECK] main [#001]" for an unknown command code.
void run_command(const TW_ProgArgs& args, std::ostream& out);

// The whole program for the process's command line. Returns 0 when the command succeeded;
// otherwise prints "ERROR: " and the failure's what() text (for any allocation failure "bad
// allocation") and a line end on `out`, and returns -1. Catches every std::exception.
int run_tarnwick(std::ostream& out);

}  // namespace tw
