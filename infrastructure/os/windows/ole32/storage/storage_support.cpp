// Access modes, root names and task-allocator memory of the registry storage service.
#include "storage_support.h"

#include <cstring>
#include <new>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

namespace
{

// The predefined key of each root name, in the order of k_root_names.
const HKEY k_root_keys[k_root_name_count] = {
    HKEY_CLASSES_ROOT,   HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
    HKEY_CURRENT_CONFIG, HKEY_CLASSES_ROOT,   HKEY_CURRENT_USER,  HKEY_LOCAL_MACHINE,
    HKEY_CURRENT_CONFIG, HKEY_CLASSES_ROOT,   HKEY_CURRENT_USER,  HKEY_LOCAL_MACHINE,
    HKEY_USERS,          HKEY_CURRENT_CONFIG,
};

wchar_t ascii_upper(wchar_t character) noexcept
{
    return character >= L'a' && character <= L'z' ? static_cast<wchar_t>(character - L'a' + L'A')
                                                  : character;
}

}  // namespace

const wchar_t* const k_root_names[k_root_name_count] = {
    L"CLASSES_ROOT",
    L"CURRENT_USER",
    L"LOCAL_MACHINE",
    L"USERS",
    L"CURRENT_CONFIG",
    L"HKCR",
    L"HKCU",
    L"HKLM",
    L"HKCC",
    L"HKEY_CLASSES_ROOT",
    L"HKEY_CURRENT_USER",
    L"HKEY_LOCAL_MACHINE",
    L"HKEY_USERS",
    L"HKEY_CURRENT_CONFIG",
};

bool access_of_mode(DWORD mode, REGSAM& access) noexcept
{
    switch (mode)
    {
    case 1:
        access = KEY_READ;
        return true;
    case 2:
        access = KEY_WRITE;
        return true;
    case 3:
        access = KEY_READ | KEY_WRITE;
        return true;
    case 4:
        access = KEY_ALL_ACCESS;
        return true;
    default:
        return false;
    }
}

HKEY root_key_of_name(const wchar_t* name, std::size_t length) noexcept
{
    for (std::size_t index = 0; index < k_root_name_count; ++index)
    {
        const wchar_t* root = k_root_names[index];
        std::size_t position = 0;
        while (position < length && root[position] != L'\0' &&
               ascii_upper(name[position]) == root[position])
            ++position;
        if (position == length && root[position] == L'\0')
            return k_root_keys[index];
    }
    return nullptr;
}

void t_task_block::allocate(std::size_t bytes)
{
    reset();
    m_block = CoTaskMemAlloc(bytes);
    if (m_block == nullptr)
        throw std::bad_alloc();
    std::memset(m_block, 0, bytes);
}

LPWSTR task_string_copy(const wchar_t* text, std::size_t length)
{
    t_task_block block;
    block.allocate((length + 1) * sizeof(wchar_t));
    std::memcpy(block.get(), text, length * sizeof(wchar_t));
    return static_cast<LPWSTR>(block.release());
}

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
