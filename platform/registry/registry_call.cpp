// Argument parsing and output helpers of the registry functions.
#include "registry_call.h"

#include <cstring>
#include <cwchar>

namespace voka::platform::registry
{

DWORD parse_key_path(LPCWSTR sub_key, bool creating, std::vector<t_name>& out)
{
    out.clear();
    if (sub_key == nullptr || sub_key[0] == L'\0')
        return ERROR_SUCCESS;
    // A path is relative to its key: Windows rejects a leading separator.
    if (sub_key[0] == L'\\')
        return ERROR_BAD_PATHNAME;
    const std::wstring_view path(sub_key);
    std::size_t start = 0;
    while (start < path.size())
    {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring_view::npos)
            end = path.size();
        if (end > start)
        {
            t_name name;
            switch (make_name(path.substr(start, end - start), k_max_key_name_units, name))
            {
            case t_name_result::ok:
                break;
            case t_name_result::too_long:
                return ERROR_INVALID_PARAMETER;
            case t_name_result::not_text:
                return creating ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND;
            }
            out.push_back(std::move(name));
        }
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

t_name_result parse_value_name(LPCWSTR value_name, t_name& out)
{
    return make_name(value_name != nullptr ? std::wstring_view(value_name) : std::wstring_view(),
                     k_max_value_name_units, out);
}

bool copy_name(const std::u16string& text, LPWSTR buffer, DWORD buffer_size)
{
    const std::wstring wide = wide_from_utf16(text);
    if (static_cast<std::size_t>(buffer_size) <= wide.size())
        return false;
    if (!wide.empty())
        std::wmemcpy(buffer, wide.data(), wide.size());
    buffer[wide.size()] = L'\0';
    return true;
}

FILETIME filetime_from(std::int64_t value) noexcept
{
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
    return time;
}

}  // namespace voka::platform::registry
