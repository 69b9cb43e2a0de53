// Modules whose resources live in memory: a resource section handed to the layer becomes a module
// that FindResourceExW, LoadResource and SizeofResource accept. Not part of the Win32 API; for
// tests, generated resources and tools that hold a module's resources in memory.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace voka::platform
{

// Registers a module whose resources are `section_bytes`: the content of a resource section (root
// table first) that starts at `section_rva` in the module's image, so its data entries' RVAs are
// resolved against that RVA. Empty bytes register a module without a resource section
// (FindResourceExW then fails with ERROR_RESOURCE_DATA_NOT_FOUND). Returns the new module's handle,
// never one of another registered module; on failure NULL with the last error:
// ERROR_INVALID_DATA for a malformed directory (see parse_resource_directory),
// ERROR_NOT_ENOUGH_MEMORY. Thread-safe.
HMODULE register_resource_module(std::vector<std::uint8_t> section_bytes,
                                 std::uint32_t section_rva) noexcept;

// Ends the registration of a module from register_resource_module: its handles and the addresses
// LoadResource gave for it become invalid. FALSE with ERROR_INVALID_HANDLE for any other handle
// (modules of loaders are theirs to unload). Preserves the last error on success. Thread-safe.
BOOL unregister_resource_module(HMODULE module) noexcept;

// Owns one registration from register_resource_module and ends it on destruction, keeping the
// caller's last error. Move-only.
class t_resource_module_registration
{
public:
    t_resource_module_registration() noexcept = default;
    explicit t_resource_module_registration(HMODULE module) noexcept : m_module(module) {}
    t_resource_module_registration(t_resource_module_registration&& other) noexcept
        : m_module(other.release())
    {
    }
    t_resource_module_registration& operator=(t_resource_module_registration&& other) noexcept
    {
        reset(other.release());  // safe for self-move: release empties first
        return *this;
    }
    ~t_resource_module_registration() { reset(); }

    HMODULE get() const noexcept { return m_module; }
    explicit operator bool() const noexcept { return m_module != nullptr; }
    HMODULE release() noexcept { return std::exchange(m_module, nullptr); }
    void reset(HMODULE module = nullptr) noexcept
    {
        if (m_module != nullptr)
        {
            const DWORD saved_error = ::GetLastError();
            unregister_resource_module(m_module);
            ::SetLastError(saved_error);
        }
        m_module = module;
    }

private:
    HMODULE m_module = nullptr;
};

}  // namespace voka::platform
