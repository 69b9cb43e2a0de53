// ANSI/code-page text to wide text and back, through the platform's converters.
#include "voka/infrastructure/core/text_converters.h"

#include "voka/win32.h"

#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace voka::infrastructure::core::structure
{

void t_ansi_to_unicode::convert(std::wstring& result, const char* text, int length,
                                unsigned code_page, bool* failed)
{
    if (failed != nullptr)
        *failed = false;
    result.clear();
    if (length == 0)
        return;
    if (length == -1)
    {
        if (text == nullptr)
            return;
        length = static_cast<int>(std::strlen(text));
        if (length == 0)
            return;
    }
    if (length < 0)
        throw std::length_error("Length error in t_ansi_to_unicode::convert");

    const int size = ::MultiByteToWideChar(code_page, 0, text, length, nullptr, 0);
    if (size == 0)
    {
        if (failed != nullptr)
            *failed = true;
        return;
    }
    std::vector<wchar_t> buffer(static_cast<std::size_t>(size));
    const int written = ::MultiByteToWideChar(code_page, 0, text, length, buffer.data(), size);
    if (written == 0)
    {
        if (failed != nullptr)
            *failed = true;
        return;
    }
    if (written != size)
        throw std::runtime_error(
            "[BUG CHECK] unexpected error in t_ansi_to_unicode::convert. Check point: #001.");
    result.assign(buffer.data(), static_cast<std::size_t>(written));
}

void t_unicode_to_ansi::convert(std::string& result, const wchar_t* text, int length)
{
    result.clear();
    if (length == 0)
        return;
    if (length == -1)
    {
        if (text == nullptr)
            return;
        length = static_cast<int>(std::wcslen(text));
        if (length == 0)
            return;
    }
    if (length < 0)
        throw std::length_error("Length error in t_unicode_to_ansi::convert");

    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size == 0)
        return;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    const int written =
        ::WideCharToMultiByte(CP_ACP, 0, text, length, buffer.data(), size, nullptr, nullptr);
    if (written == 0)
        return;
    if (written != size)
        throw std::runtime_error(
            "[BUG CHECK] unexpected error in t_unicode_to_ansi::convert. Check point: #001.");
    result.assign(buffer.data(), static_cast<std::size_t>(written));
}

}  // namespace voka::infrastructure::core::structure
