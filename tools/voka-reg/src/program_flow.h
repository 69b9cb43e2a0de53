// voka-reg's program flow: the command line, the operation, and what the run prints.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace voka_reg
{

// Runs voka-reg with `arguments` (after the program name, UTF-8). Writes the query text or the
// help text to `out`; on failure writes one line "ERROR: <message>" to `err` and returns -1, else
// returns 0.
int run_voka_reg(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace voka_reg
