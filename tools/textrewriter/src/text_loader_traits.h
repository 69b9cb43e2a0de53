// Character traits of the text loader: bytes of an ANSI (8-bit) text.
#pragma once

#include <istream>
#include <streambuf>
#include <string>

namespace structure
{

struct t_text_loader_traits_ansi
{
    using char_type = char;
    using int_type = std::char_traits<char>::int_type;
    using istream_type = std::basic_istream<char>;
    using streambuf_type = std::basic_streambuf<char>;

    static constexpr int_type line_feed = 10;
    static constexpr int_type carriage_return = 13;

    static constexpr int_type eof() noexcept { return std::char_traits<char>::eof(); }
};

}  // namespace structure
