// The interface for appending arguments to a message: wide strings and exceptions.
#pragma once

#include "voka/infrastructure/core/text_converters.h"

#include <exception>
#include <string>

namespace structure
{

template <typename t_char, typename t_derived>
class t_basic_str_args
{
public:
    using string_type = std::basic_string<t_char>;

    virtual ~t_basic_str_args() = default;

    // Appends a string argument; returns the deriving object for chaining.
    virtual t_derived& add_str_arg(const string_type& text) = 0;

    // Appends an exception as argument; by default, its what() text converted from
    // the ANSI code page.
    virtual t_derived& add_exception_arg(const std::exception& error)
    {
        string_type text;
        t_ansi_to_unicode::convert(text, error.what(), -1);
        return add_str_arg(text);
    }
};

}  // namespace structure
