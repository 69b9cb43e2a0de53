// Root key names and key paths.
#include "key_path.h"

#include "tool_error.h"

#include <type_traits>

namespace voka_reg
{
namespace
{

struct t_root
{
    const wchar_t* long_name;
    const wchar_t* short_name;
    HKEY key;
};

const t_root k_roots[] = {
    {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
    {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKEY_USERS", L"HKU", HKEY_USERS},
    {L"HKEY_CURRENT_CONFIG", L"HKCC", HKEY_CURRENT_CONFIG},
};

// Root names compare without regard to the case of ASCII letters.
bool same_name(const std::wstring& text, const wchar_t* name)
{
    std::size_t i = 0;
    for (; i < text.size() && name[i] != L'\0'; ++i)
    {
        wchar_t a = text[i];
        wchar_t b = name[i];
        if (a >= L'a' && a <= L'z')
            a = static_cast<wchar_t>(a - 32);
        if (b >= L'a' && b <= L'z')
            b = static_cast<wchar_t>(b - 32);
        if (a != b)
            return false;
    }
    return i == text.size() && name[i] == L'\0';
}

}  // namespace

std::size_t utf16_length(const std::wstring& text)
{
    std::size_t length = 0;
    for (const wchar_t character : text)
        length += static_cast<std::make_unsigned_t<wchar_t>>(character) > 0xFFFF ? 2 : 1;
    return length;
}

std::wstring t_key_path::full() const
{
    return sub_key.empty() ? root_name : root_name + L"\\" + sub_key;
}

t_key_path t_key_path::child(const std::wstring& name) const
{
    t_key_path path = *this;
    path.sub_key = sub_key.empty() ? name : sub_key + L"\\" + name;
    return path;
}

t_key_path parse_key_path(const std::wstring& text)
{
    const std::size_t separator = text.find(L'\\');
    const std::wstring root = text.substr(0, separator);
    for (const t_root& candidate : k_roots)
    {
        if (!same_name(root, candidate.long_name) && !same_name(root, candidate.short_name))
            continue;
        t_key_path path;
        path.root = candidate.key;
        path.root_name = candidate.long_name;
        if (separator != std::wstring::npos)
            path.sub_key = text.substr(separator + 1);
        while (!path.sub_key.empty() && path.sub_key.back() == L'\\')
            path.sub_key.pop_back();
        return path;
    }
    raise_error("unknown root key in \"" + to_utf8(text) +
                "\" (use HKLM, HKCU, HKCR, HKU, HKCC or their long names)");
}

void check_key_names(const t_key_path& path)
{
    if (path.sub_key.empty())
        return;
    std::size_t start = 0;
    for (;;)
    {
        std::size_t end = path.sub_key.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.sub_key.size();
        if (end == start)
            raise_error("an empty key name in \"" + to_utf8(path.full()) + "\"");
        if (utf16_length(path.sub_key.substr(start, end - start)) > k_max_key_name_length)
            raise_error("a key name longer than " + std::to_string(k_max_key_name_length) +
                        " characters in \"" + to_utf8(path.full()) + "\"");
        if (end == path.sub_key.size())
            return;
        start = end + 1;
    }
}

}  // namespace voka_reg
