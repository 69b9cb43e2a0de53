// MultiByteToWideChar and WideCharToMultiByte: the Windows argument checks and size
// rules around two converters, the built-in UTF-8 codec (CP_ACP, CP_OEMCP and
// CP_UTF8 are all UTF-8 on this host) and iconv for every other code page. Both
// calls of the usual pattern (size query, then conversion) run one conversion pass
// into a t_text_output, which counts or writes, so their results always agree.
#include "error_map.h"
#include "iconv_cache.h"
#include "iconv_codec.h"
#include "text_output.h"
#include "utf8_codec.h"
#include "voka/win32.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <cwchar>

namespace
{

using voka::platform::fail_with;
using voka::platform::io::t_conversion_status;
using voka::platform::io::t_text_output;

bool is_utf8_code_page(UINT code_page) noexcept
{
    return code_page == CP_ACP || code_page == CP_OEMCP || code_page == CP_UTF8;
}

// Windows: the length of the input in units, -1 standing for the zero-terminated
// text with its terminator. False when it does not fit in an int.
template <typename t_char>
bool try_measure_input(const t_char* text, int length, std::size_t& size) noexcept
{
    if (length != -1)
    {
        size = static_cast<std::size_t>(length);
        return true;
    }
    if constexpr (sizeof(t_char) == 1)
        size = std::strlen(text) + 1;
    else
        size = std::wcslen(text) + 1;
    return size <= static_cast<std::size_t>(INT_MAX);
}

// Turns the outcome of a conversion pass into the Windows result.
template <typename t_unit>
int finish(t_conversion_status status, const t_text_output<t_unit>& output) noexcept
{
    switch (status)
    {
    case t_conversion_status::ok:
        return output.count();
    case t_conversion_status::invalid_input:
        return fail_with(ERROR_NO_UNICODE_TRANSLATION, 0);
    case t_conversion_status::buffer_too_small:
        return fail_with(ERROR_INSUFFICIENT_BUFFER, 0);
    case t_conversion_status::failed:
        break;
    }
    return fail_with(ERROR_GEN_FAILURE, 0);
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCCH text, int length, LPWSTR wide,
                               int wide_size)
{
    namespace io = voka::platform::io;

    if (text == nullptr || length == 0 || length < -1 || wide_size < 0 ||
        (wide == nullptr && wide_size != 0) ||
        (wide_size != 0 && static_cast<const void*>(text) == static_cast<const void*>(wide)))
        return fail_with(ERROR_INVALID_PARAMETER, 0);
    std::size_t size = 0;
    if (!try_measure_input(text, length, size))
        return fail_with(ERROR_INVALID_PARAMETER, 0);

    const bool stop_on_invalid = (flags & MB_ERR_INVALID_CHARS) != 0;
    t_text_output<wchar_t> output(wide, wide_size);
    if (is_utf8_code_page(code_page))
    {
        if ((flags & ~MB_ERR_INVALID_CHARS) != 0)
            return fail_with(ERROR_INVALID_FLAGS, 0);
        return finish(io::decode_utf8(text, size, stop_on_invalid, output), output);
    }

    const io::t_iconv_lease converter =
        io::lease_iconv_converter(code_page, io::t_iconv_direction::to_wide);
    if (!converter)
        return fail_with(ERROR_INVALID_PARAMETER, 0);
    if ((flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) != 0)
        return fail_with(ERROR_INVALID_FLAGS, 0);
    return finish(io::decode_code_page(converter.get(), text, size, stop_on_invalid, output),
                  output);
}

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWCH wide, int length, LPSTR text,
                               int text_size, LPCCH default_char, LPBOOL used_default_char)
{
    namespace io = voka::platform::io;

    if (wide == nullptr || length == 0 || length < -1 || text_size < 0 ||
        (text == nullptr && text_size != 0) ||
        (text_size != 0 && static_cast<const void*>(text) == static_cast<const void*>(wide)))
        return fail_with(ERROR_INVALID_PARAMETER, 0);
    std::size_t size = 0;
    if (!try_measure_input(wide, length, size))
        return fail_with(ERROR_INVALID_PARAMETER, 0);

    t_text_output<char> output(text, text_size);
    if (is_utf8_code_page(code_page))
    {
        if (default_char != nullptr || used_default_char != nullptr)
            return fail_with(ERROR_INVALID_PARAMETER, 0);
        if ((flags & ~WC_ERR_INVALID_CHARS) != 0)
            return fail_with(ERROR_INVALID_FLAGS, 0);
        const bool stop_on_invalid = (flags & WC_ERR_INVALID_CHARS) != 0;
        return finish(io::encode_utf8(wide, size, stop_on_invalid, output), output);
    }

    const io::t_iconv_lease converter =
        io::lease_iconv_converter(code_page, io::t_iconv_direction::from_wide);
    if (!converter)
        return fail_with(ERROR_INVALID_PARAMETER, 0);
    if ((flags & ~WC_NO_BEST_FIT_CHARS) != 0)
        return fail_with(ERROR_INVALID_FLAGS, 0);
    bool used_default = false;
    const int result = finish(
        io::encode_code_page(converter.get(), wide, size, default_char, used_default, output),
        output);
    if (result != 0 && used_default_char != nullptr)
        *used_default_char = used_default ? TRUE : FALSE;
    return result;
}
