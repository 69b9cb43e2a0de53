// Every text glossel prints or raises, composed in one place.
#pragma once

#include <cstdint>
#include <string>

namespace structure::glossel_texts
{

// The first line the program prints, naming the tool.
std::string banner();

// The line printed when the command line does not hold exactly two arguments.
std::string usage();

// The failure report: a line break, "ERROR:" directly followed by `message`, a line break.
std::string report(const std::string& message);

// "fail open <role> file "<path>"" for role "source" or "dest".
std::string open_failure(const std::string& role, const std::string& path);

// "fail write dest file "<path>"": the destination stream failed.
std::string write_failure(const std::string& path);

// An _MC piece opened at (line, column) is not closed before the end of the text.
std::string mc_unclosed_piece(std::uint32_t line, std::uint32_t column);

// After an _MC tag's last piece, (line, column) holds something other than ')'.
std::string mc_missing_paren(std::uint32_t line, std::uint32_t column);

}  // namespace structure::glossel_texts
