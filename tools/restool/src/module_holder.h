// Owner of a module handle from LoadLibraryExW.
#pragma once

#include "voka/win32.h"

#include <utility>

namespace tw
{

// Frees the module it holds (FreeLibrary) when it goes out of scope, keeping the caller's last
// error. Move-only.
class t_module_holder
{
public:
    t_module_holder() noexcept = default;
    explicit t_module_holder(HMODULE module) noexcept : m_module(module) {}
    t_module_holder(t_module_holder&& other) noexcept : m_module(other.detach()) {}
    t_module_holder& operator=(t_module_holder&& other) noexcept
    {
        reset(other.detach());  // safe for self-move: detach empties first
        return *this;
    }
    ~t_module_holder() { reset(); }

    HMODULE get() const noexcept { return m_module; }
    explicit operator bool() const noexcept { return m_module != nullptr; }
    HMODULE detach() noexcept { return std::exchange(m_module, nullptr); }

    void reset(HMODULE module = nullptr) noexcept
    {
        if (m_module != nullptr)
        {
            const DWORD saved_error = ::GetLastError();
            ::FreeLibrary(m_module);
            ::SetLastError(saved_error);
        }
        m_module = module;
    }

private:
    HMODULE m_module = nullptr;
};

}  // namespace tw
