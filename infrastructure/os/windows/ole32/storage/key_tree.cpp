// Deleting a key tree: RegDeleteKeyW refuses a key with sub keys, so the sub keys go first, one
// at a time, always the first one listed, until the listing is empty.
#include "key_tree.h"

#include "storage_support.h"

#include <stdexcept>
#include <vector>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

LONG delete_key_tree(HKEY parent, LPCWSTR name)
{
    t_key_owner key;
    LONG error = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.put());
    if (error != ERROR_SUCCESS)
        return error;
    DWORD sub_keys = 0;
    DWORD longest = 0;
    error = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &sub_keys, &longest, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    if (sub_keys != 0)
    {
        if (longest == 0xFFFFFFFFu)
            throw std::overflow_error("Overflow in TRegistry::DeleteKey");
        std::vector<wchar_t> sub_key(static_cast<std::size_t>(longest) + 1);
        for (;;)
        {
            DWORD length = longest + 1;
            error = RegEnumKeyExW(key.get(), 0, sub_key.data(), &length, nullptr, nullptr, nullptr,
                                  nullptr);
            if (error == ERROR_NO_MORE_ITEMS)
                break;
            if (error != ERROR_SUCCESS)
                return error;
            sub_key[length] = L'\0';
            error = delete_key_tree(key.get(), sub_key.data());
            if (error != ERROR_SUCCESS)
                return error;
        }
    }
    key.close();
    return RegDeleteKeyW(parent, name);
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
