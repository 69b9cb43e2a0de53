// glossel's entry routine: banner, usage, the rewrite of one file into another, and
// the failure report.
#pragma once

#include <ostream>
#include <string>

namespace structure
{

// Runs glossel for the command line `argv` (argv[0] is the program's name, then
// <source file> <dest file>), printing the banner, the usage line or the failure report
// on `out`. Returns 0 after a complete rewrite or the usage line, -1 after a reported
// failure. Catches every std::exception.
int run_glossel(int argc, const char* const* argv, std::ostream& out);

// Rewrites the file `source_path` into `dest_path`. The source is opened and tested
// first, so a source that cannot be opened leaves the destination untouched; then the
// destination is created or truncated. Throws std::runtime_error when a file cannot be
// opened or the destination cannot be written (the part written so far stays), and
// whatever the transformation throws.
void rewrite_file(const std::string& source_path, const std::string& dest_path);

}  // namespace structure
