// voka-reg's failures and the UTF-8 conversions of its texts.
#include "tool_error.h"

namespace voka_reg
{

void raise_error(const std::string& message)
{
    throw t_tool_error(message);
}

void raise_win32_error(const std::string& action, const std::wstring& target, LSTATUS code)
{
    raise_error(action + " " + to_utf8(target) + ": " + win32_error_text(code) + " (error " +
                std::to_string(code) + ")");
}

std::string win32_error_text(LSTATUS code)
{
    switch (code)
    {
    case ERROR_FILE_NOT_FOUND:
        return "the key or value does not exist";
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_INVALID_PARAMETER:
        return "invalid name or argument";
    case ERROR_BAD_PATHNAME:
        return "bad key path";
    case ERROR_BUSY:
        return "the registry is busy";
    case ERROR_DISK_FULL:
        return "the disk is full";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return "not enough memory";
    case ERROR_BADDB:
        return "the registry database is corrupt";
    case ERROR_REGISTRY_IO_FAILED:
        return "the registry database cannot be read or written";
    case ERROR_KEY_DELETED:
        return "the key was deleted";
    default:
        return "Win32 error";
    }
}

std::string to_utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring from_utf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), size);
    return result;
}

}  // namespace voka_reg
