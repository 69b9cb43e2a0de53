// FormatMessageW for system messages: Windows keeps a message table for its error
// codes; here the text of a code is the host's description of the errno value the
// code corresponds to (the error map), read with the thread-safe strerror variants.
#include "error_map.h"
#include "utf8_codec.h"
#include "voka/win32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <locale.h>
#include <new>
#include <string.h>
#include <string>

namespace
{

using voka::platform::fail_with;

// strerror_r is the GNU variant (returning the text) or the POSIX one (returning
// 0 and filling the buffer), depending on the feature macros; these two overloads
// accept either result.
[[maybe_unused]] const char* strerror_result(const char* text, const char*) noexcept
{
    return text;
}
[[maybe_unused]] const char* strerror_result(int result, const char* buffer) noexcept
{
    return result == 0 ? buffer : nullptr;
}

// The host's text for `error_number` in the calling thread's locale.
std::string host_text(int error_number)
{
    std::array<char, 256> buffer{};
    const char* text =
        strerror_result(::strerror_r(error_number, buffer.data(), buffer.size()), buffer.data());
    return text != nullptr ? std::string(text) : std::string();
}

// The host's untranslated text for `error_number`. The "C" locale object is made once
// and deliberately kept for the life of the process, so a call made while the process
// exits (from a module's shutdown, say) still finds it.
std::string untranslated_host_text(int error_number)
{
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
    if (c_locale == nullptr)
        return host_text(error_number);
    return std::string(::strerror_l(error_number, c_locale));
}

enum class t_text_language
{
    thread_locale,
    untranslated,
    unavailable,
};

t_text_language text_language_of(DWORD language_id) noexcept
{
    if (language_id > 0xFFFF)
        return t_text_language::unavailable;
    const WORD primary = PRIMARYLANGID(language_id);
    if (primary == LANG_NEUTRAL)
        return t_text_language::thread_locale;
    if (primary == LANG_ENGLISH)
        return t_text_language::untranslated;
    return t_text_language::unavailable;
}

// Windows: every system message ends in CR LF.
std::wstring message_text(int error_number, t_text_language language)
{
    const std::string host = language == t_text_language::untranslated
                                 ? untranslated_host_text(error_number)
                                 : host_text(error_number);
    std::wstring text = voka::platform::io::utf8_to_wide(host);
    text += L"\r\n";
    return text;
}

}  // namespace

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, va_list_ptr arguments)
{
    static_cast<void>(source);     // not used for system messages
    static_cast<void>(arguments);  // inserts are ignored

    constexpr DWORD k_supported_flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    if (flags != k_supported_flags || buffer == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, DWORD{0});
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the argument is the address of a pointer.
    LPWSTR& result = *reinterpret_cast<LPWSTR*>(buffer);
    result = nullptr;

    const int error_number =
        message_id == ERROR_SUCCESS ? 0 : voka::platform::errno_from_win32_error(message_id);
    if (message_id != ERROR_SUCCESS && error_number == 0)
        return fail_with(ERROR_MR_MID_NOT_FOUND, DWORD{0});
    const t_text_language language = text_language_of(language_id);
    if (language == t_text_language::unavailable)
        return fail_with(ERROR_RESOURCE_LANG_NOT_FOUND, DWORD{0});

    try
    {
        const std::wstring text = message_text(error_number, language);
        // Windows: `size` is the least number of characters to allocate.
        const std::size_t allocated = std::max<std::size_t>(text.size() + 1, size);
        auto* block = static_cast<wchar_t*>(::LocalAlloc(LMEM_FIXED, allocated * sizeof(wchar_t)));
        if (block == nullptr)
            return 0;  // LocalAlloc set the last error
        std::copy(text.begin(), text.end(), block);
        block[text.size()] = L'\0';
        result = block;
        return static_cast<DWORD>(text.size());
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, DWORD{0});
    }
}
