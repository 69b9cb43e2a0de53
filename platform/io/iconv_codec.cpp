// Conversions between the Windows 8-bit and double-byte code pages and wide text
// through iconv. iconv stops at every character it rejects; the loops here put the
// Windows substitute in its place and go on, in chunks, so texts of any length pass
// through a small buffer on the stack.
#include "iconv_codec.h"

#include "utf8_codec.h"

#include <array>
#include <cerrno>

namespace voka::platform::io
{
namespace
{

const std::size_t k_iconv_failed = static_cast<std::size_t>(-1);

// Returns the converter to its initial shift state.
void reset_converter(iconv_t converter) noexcept
{
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
}

// Encodes '?' with a from_wide converter into `bytes`; returns the byte count, 0 when
// the code page has no '?'.
std::size_t encode_question_mark(iconv_t converter, std::array<char, 8>& bytes) noexcept
{
    reset_converter(converter);
    wchar_t question_mark = L'?';
    char* input = reinterpret_cast<char*>(&question_mark);
    std::size_t input_left = sizeof(question_mark);
    char* output = bytes.data();
    std::size_t output_left = bytes.size();
    if (::iconv(converter, &input, &input_left, &output, &output_left) == k_iconv_failed ||
        ::iconv(converter, nullptr, nullptr, &output, &output_left) == k_iconv_failed)
        return 0;
    return bytes.size() - output_left;
}

}  // namespace

t_conversion_status decode_code_page(iconv_t converter, const char* text, std::size_t size,
                                     bool stop_on_invalid, t_text_output<wchar_t>& output) noexcept
{
    reset_converter(converter);
    // iconv's signature takes char**; it never writes through the input pointer.
    char* input = const_cast<char*>(text);
    std::size_t input_left = size;
    std::array<wchar_t, 256> chunk{};
    for (;;)
    {
        // With the input consumed, one more call emits what a stateful converter
        // still holds (a base character waiting for combining marks, say).
        const bool flushing = input_left == 0;
        char* chunk_end = reinterpret_cast<char*>(chunk.data());
        std::size_t chunk_left = sizeof(chunk);
        const std::size_t result =
            flushing ? ::iconv(converter, nullptr, nullptr, &chunk_end, &chunk_left)
                     : ::iconv(converter, &input, &input_left, &chunk_end, &chunk_left);
        const int error = errno;
        if (!output.put(chunk.data(), (sizeof(chunk) - chunk_left) / sizeof(wchar_t)))
            return t_conversion_status::buffer_too_small;
        if (result != k_iconv_failed)
        {
            if (flushing)
                return t_conversion_status::ok;
            continue;
        }
        if (error == E2BIG)
            continue;
        if (flushing || (error != EILSEQ && error != EINVAL))
            return t_conversion_status::failed;

        // EILSEQ: a byte that starts no character; EINVAL: a sequence cut off by the
        // end of the input. Either way one byte is replaced and skipped.
        if (stop_on_invalid)
            return t_conversion_status::invalid_input;
        if (!output.put(k_replacement_character))
            return t_conversion_status::buffer_too_small;
        ++input;
        --input_left;
    }
}

t_conversion_status encode_code_page(iconv_t converter, const wchar_t* text, std::size_t size,
                                     const char* default_char, bool& used_default_char,
                                     t_text_output<char>& output) noexcept
{
    std::array<char, 8> substitute{};
    std::size_t substitute_size = 1;
    if (default_char != nullptr)
    {
        substitute[0] = *default_char;
    }
    else
    {
        substitute_size = encode_question_mark(converter, substitute);
        if (substitute_size == 0)
        {
            substitute[0] = '?';
            substitute_size = 1;
        }
    }

    used_default_char = false;
    reset_converter(converter);
    // iconv's signature takes char**; it never writes through the input pointer.
    char* input = reinterpret_cast<char*>(const_cast<wchar_t*>(text));
    std::size_t input_left = size * sizeof(wchar_t);
    std::array<char, 1024> chunk{};
    for (;;)
    {
        const bool flushing = input_left == 0;
        char* chunk_end = chunk.data();
        std::size_t chunk_left = chunk.size();
        const std::size_t result =
            flushing ? ::iconv(converter, nullptr, nullptr, &chunk_end, &chunk_left)
                     : ::iconv(converter, &input, &input_left, &chunk_end, &chunk_left);
        const int error = errno;
        if (!output.put(chunk.data(), chunk.size() - chunk_left))
            return t_conversion_status::buffer_too_small;
        if (result != k_iconv_failed)
        {
            if (flushing)
                return t_conversion_status::ok;
            continue;
        }
        if (error == E2BIG)
            continue;
        if (flushing || error != EILSEQ)
            return t_conversion_status::failed;

        // A character the code page lacks, or a value that is no character at all
        // (a surrogate, or above U+10FFFF): Windows writes the default character.
        used_default_char = true;
        if (!output.put(substitute.data(), substitute_size))
            return t_conversion_status::buffer_too_small;
        input += sizeof(wchar_t);
        input_left -= sizeof(wchar_t);
    }
}

}  // namespace voka::platform::io
