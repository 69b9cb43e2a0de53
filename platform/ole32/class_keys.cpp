// Reading class registrations below HKEY_CLASSES_ROOT.
#include "class_keys.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace voka::platform::ole32
{

namespace
{

// Closes a key on every path.
class t_key_owner
{
public:
    t_key_owner() noexcept = default;
    t_key_owner(const t_key_owner&) = delete;
    t_key_owner& operator=(const t_key_owner&) = delete;
    ~t_key_owner()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    HKEY get() const noexcept { return m_key; }
    HKEY* put() noexcept { return &m_key; }

private:
    HKEY m_key = nullptr;
};

// The environment's value of `name`, when the name is plain ASCII and set.
bool environment_value(const std::wstring& name, std::wstring& value)
{
    std::string narrow;
    for (const wchar_t character : name)
    {
        if (character <= 0 || character >= 0x80)
            return false;
        narrow.push_back(static_cast<char>(character));
    }
    const char* found = std::getenv(narrow.c_str());
    if (found == nullptr)
        return false;
    // Values are UTF-8 text; invalid bytes become U+FFFD, as the conversion makes them.
    const int length = MultiByteToWideChar(CP_UTF8, 0, found, -1, nullptr, 0);
    if (length <= 0)
        return false;
    value.assign(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, found, -1, value.data(), length);
    value.resize(static_cast<std::size_t>(length) - 1);
    return true;
}

// Replaces each %NAME% whose NAME is set in the environment, as ExpandEnvironmentStringsW does.
std::wstring expand_environment(const std::wstring& text)
{
    std::wstring expanded;
    std::size_t position = 0;
    while (position < text.size())
    {
        const std::size_t open = text.find(L'%', position);
        const std::size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos)
            break;
        expanded.append(text, position, open - position);
        std::wstring value;
        if (environment_value(text.substr(open + 1, close - open - 1), value))
        {
            expanded += value;
            position = close + 1;
        }
        else
        {
            // An unknown name stays; its closing % may open the next one.
            expanded.append(text, open, close - open);
            position = close;
        }
    }
    expanded.append(text, position, std::wstring::npos);
    return expanded;
}

}  // namespace

LSTATUS read_class_string(const std::wstring& path, std::wstring& text)
{
    t_key_owner key;
    LSTATUS error = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (error != ERROR_SUCCESS)
        return error;
    std::vector<wchar_t> buffer(64);
    DWORD type = REG_NONE;
    for (;;)
    {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        error = RegQueryValueExW(key.get(), nullptr, nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (error == ERROR_MORE_DATA)
        {
            buffer.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (error != ERROR_SUCCESS)
            return error;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return ERROR_INVALID_DATA;
        // The stored text may or may not end with its 0: it ends at the first one.
        std::wstring value(buffer.data(), size / sizeof(wchar_t));
        if (const std::size_t end = value.find(L'\0'); end != std::wstring::npos)
            value.resize(end);
        text = type == REG_EXPAND_SZ ? expand_environment(value) : std::move(value);
        return ERROR_SUCCESS;
    }
}

std::wstring guid_key_name(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring class_key_path(REFCLSID class_id)
{
    return L"CLSID\\" + guid_key_name(class_id);
}

}  // namespace voka::platform::ole32
