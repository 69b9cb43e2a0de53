// Texts of the text loader's errors, composed by the narrow message formatter.
#include "text_loader_errors.h"

#include "voka/infrastructure/core/message_formatter.h"

#include <stdexcept>

namespace structure
{

std::string text_loader_message(int code, std::uint32_t first, std::uint32_t second,
                                std::uint32_t third)
{
    switch (code)
    {
    case text_loader_error_bof_start:
        return t_message_formatter("[text loader] start from BOF position is failed.").build();
    case text_loader_error_line_number:
        return t_message_formatter("[text loader] incorrect line number %1. Range [%2...%3].")
            .add_arg(first)
            .add_arg(second)
            .add_arg(third)
            .build();
    case text_loader_error_low_column:
        return t_message_formatter("[text loader] line %1. low column number %2 - min %3.")
            .add_arg(first)
            .add_arg(second)
            .add_arg(third)
            .build();
    case text_loader_error_big_column:
        return t_message_formatter("[text loader] line %1. big column number %2 - min %3.")
            .add_arg(first)
            .add_arg(second)
            .add_arg(third)
            .build();
    case text_loader_error_no_data:
        return t_message_formatter("[text loader] no data.").build();
    default:
        return t_message_formatter("[text loader] Unknown error code").build();
    }
}

void raise_text_loader_error(int code, std::uint32_t first, std::uint32_t second,
                             std::uint32_t third)
{
    throw std::logic_error(text_loader_message(code, first, second, third));
}

}  // namespace structure
