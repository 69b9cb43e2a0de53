// Conversions between the Windows 8-bit and double-byte code pages and wide text,
// through a converter of the host's iconv.
#pragma once

#include "text_output.h"

#include <cstddef>
#include <iconv.h>

namespace voka::platform::io
{

// Decodes `size` bytes with a to_wide converter. A byte iconv rejects (or an
// incomplete sequence at the end) becomes U+FFFD, one byte at a time, or ends the
// pass with `stop_on_invalid`.
t_conversion_status decode_code_page(iconv_t converter, const char* text, std::size_t size,
                                     bool stop_on_invalid, t_text_output<wchar_t>& output) noexcept;

// Encodes `size` wide characters with a from_wide converter. A character the code
// page cannot hold (invalid wide values included) becomes the byte `*default_char`,
// or the code page's encoding of '?' when `default_char` is null, and sets
// `used_default_char`.
t_conversion_status encode_code_page(iconv_t converter, const wchar_t* text, std::size_t size,
                                     const char* default_char, bool& used_default_char,
                                     t_text_output<char>& output) noexcept;

}  // namespace voka::platform::io
