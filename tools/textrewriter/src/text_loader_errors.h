// The text loader's error codes and the texts of their messages.
#pragma once

#include <cstdint>
#include <string>

namespace structure
{

enum t_text_loader_error_code : int
{
    text_loader_error_bof_start = 1,    // the first line does not start at column 1
    text_loader_error_line_number = 2,  // (line, first, last of the loaded range)
    text_loader_error_low_column = 3,   // (line, column, the line's first column)
    text_loader_error_big_column = 4,   // (line, column, largest valid column)
    text_loader_error_no_data = 5,      // nothing loaded yet
};

// The message of error `code` with its numbered parameters filled in order; codes
// that take fewer parameters ignore the rest. An unknown code gives the fixed
// unknown-code text.
std::string text_loader_message(int code, std::uint32_t first = 0, std::uint32_t second = 0,
                                std::uint32_t third = 0);

// Throws std::logic_error with text_loader_message(code, ...).
[[noreturn]] void raise_text_loader_error(int code, std::uint32_t first = 0,
                                          std::uint32_t second = 0, std::uint32_t third = 0);

}  // namespace structure
