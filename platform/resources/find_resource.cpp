// FindResourceExW, LoadResource, LockResource and SizeofResource over the registered modules.
// Each checks its arguments as Windows does, works on the module's t_resource_view, and turns the
// outcome into the Windows result and last error; no exception leaves.
#include "error_map.h"
#include "locale_language.h"
#include "resource_lookup.h"
#include "resource_module_table.h"

#include <new>

namespace voka::platform
{
namespace
{

// Reads a type or name argument: an integer resource, "#" and decimal digits (an integer), or a
// name. nullopt for a "#" followed by anything else or by a value past 65535.
std::optional<t_resource_key> key_from_argument(LPCWSTR argument) noexcept
{
    if (IS_INTRESOURCE(argument))
        return t_resource_key{
            false, static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(argument)), {}};
    const std::wstring_view text(argument);
    if (text.empty() || text.front() != L'#')
        return t_resource_key{true, 0, text};
    if (text.size() == 1)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t digit : text.substr(1))
    {
        if (digit < L'0' || digit > L'9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(digit - L'0');
        if (value > 0xFFFF)
            return std::nullopt;
    }
    return t_resource_key{false, static_cast<std::uint16_t>(value), {}};
}

// The view of `module`, or the Windows failure for it: ERROR_INVALID_HANDLE for an unknown module,
// ERROR_RESOURCE_DATA_NOT_FOUND for one without resources (NULL, the executable, counts as known).
std::shared_ptr<const t_resource_view> view_of(HMODULE module, DWORD* error) noexcept
{
    t_resource_module_table::t_lookup lookup = t_resource_module_table::instance().find(module);
    if (!lookup.is_registered)
        *error = module == nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE;
    else if (!lookup.view)
        *error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return std::move(lookup.view);
}

// The data entry `resource` names in `module`'s view, or null with `*error` set.
const t_resource_data_entry* entry_of(const t_resource_view* view, HRSRC resource,
                                      DWORD* error) noexcept
{
    // A module without resources has no resource handles.
    if (view == nullptr || resource == nullptr || !view->owns(resource))
    {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return reinterpret_cast<const t_resource_data_entry*>(resource);
}

}  // namespace
}  // namespace voka::platform

using namespace voka::platform;

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    const std::optional<t_resource_key> type_key = key_from_argument(type);
    const std::optional<t_resource_key> name_key = key_from_argument(name);
    if (!type_key || !name_key)
        return fail_with(ERROR_INVALID_PARAMETER, HRSRC{});

    DWORD error = ERROR_SUCCESS;
    const std::shared_ptr<const t_resource_view> view = view_of(module, &error);
    if (!view)
        return fail_with(error, HRSRC{});

    const auto* type_node = find_resource_type(view->directory(), *type_key);
    if (type_node == nullptr)
        return fail_with(ERROR_RESOURCE_TYPE_NOT_FOUND, HRSRC{});
    const auto* name_node = find_resource_name(*type_node, *name_key);
    if (name_node == nullptr)
        return fail_with(ERROR_RESOURCE_NAME_NOT_FOUND, HRSRC{});
    // The locale is read at each call, and only for language 0, whose fallback needs it.
    const auto* language_node = find_resource_language(
        *name_node, language,
        language == 0 && !name_node->languages.empty() ? user_default_language() : std::nullopt);
    if (language_node == nullptr)
        return fail_with(ERROR_RESOURCE_LANG_NOT_FOUND, HRSRC{});
    // The leaf lives as long as the view, which the module's registration keeps.
    return reinterpret_cast<HRSRC>(const_cast<t_resource_data_entry*>(&language_node->leaf));
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    DWORD error = ERROR_SUCCESS;
    const std::shared_ptr<const t_resource_view> view = view_of(module, &error);
    const t_resource_data_entry* entry = entry_of(view.get(), resource, &error);
    if (entry == nullptr)
        return fail_with(error, HGLOBAL{});
    const std::optional<std::span<const std::uint8_t>> bytes =
        find_resource_data(view->data_range(), *entry);
    if (!bytes)
        return fail_with(ERROR_RESOURCE_DATA_NOT_FOUND, HGLOBAL{});
    // Windows hands out the data's address; callers only read through it.
    return const_cast<std::uint8_t*>(bytes->data());
}

LPVOID WINAPI LockResource(HGLOBAL resource_data)
{
    return resource_data;
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    DWORD error = ERROR_SUCCESS;
    const std::shared_ptr<const t_resource_view> view = view_of(module, &error);
    const t_resource_data_entry* entry = entry_of(view.get(), resource, &error);
    if (entry == nullptr)
        return fail_with(error, DWORD{0});
    return entry->size;
}
