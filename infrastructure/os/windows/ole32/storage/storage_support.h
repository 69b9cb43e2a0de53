// Pieces shared by the registry storage service's objects: their COM base, the error
// translation, access modes, root names, task-allocator strings and blocks, and a key owner.
#pragma once

#include "voka/infrastructure/core/raw_allocator.h"
#include "voka/infrastructure/os/windows/ole32/base_unknown.h"
#include "voka/infrastructure/os/windows/ole32/memory_allocator_adapter.h"
#include "voka/win32.h"

#include <cstddef>
#include <utility>

namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
{

using t_allocator = voka::lib::structure::t_raw_allocator<MemoryAllocator_Adapter>;

// A service object implementing `TInterface`, whose id is `k_own_iid`: the interface part first,
// then the object base. It answers IUnknown and its own id, nothing else.
template <typename TInterface, const IID& k_own_iid>
class t_service_object : public voka::lib::com::base::TComObject3A<TInterface, t_allocator>
{
public:
    HRESULT STDMETHODCALLTYPE NondelegatingQueryInterface(REFIID iid,
                                                          void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid == k_own_iid)
        {
            auto* own = static_cast<TInterface*>(this);
            *object = own;
            own->AddRef();  // through the controlling unknown
            return S_OK;
        }
        return voka::lib::com::base::TComObject3A<TInterface,
                                                  t_allocator>::NondelegatingQueryInterface(iid,
                                                                                            object);
    }
};

// A Win32 error code as an HRESULT: e > 0 gives 0x80070000 + (e & 0xFFFF); 0 and negative
// values pass unchanged.
constexpr HRESULT hresult_from_registry(LONG error) noexcept
{
    return error > 0 ? static_cast<HRESULT>(0x80070000u + (static_cast<DWORD>(error) & 0xFFFFu))
                     : static_cast<HRESULT>(error);
}

// The registry access of an access mode (1 to 4); false for any other mode.
bool access_of_mode(DWORD mode, REGSAM& access) noexcept;

// The root names, in the order of the table: the first five are the ones the root lists.
inline constexpr std::size_t k_root_name_count = 14;
inline constexpr std::size_t k_listed_root_name_count = 5;
extern const wchar_t* const k_root_names[k_root_name_count];

// The predefined key whose root name is the `length` characters at `name` (ASCII letters
// compared without case, over the whole length); null when it is none of them.
HKEY root_key_of_name(const wchar_t* name, std::size_t length) noexcept;

// A task-allocator block that is freed unless released to a caller.
class t_task_block
{
public:
    t_task_block() noexcept = default;
    t_task_block(const t_task_block&) = delete;
    t_task_block& operator=(const t_task_block&) = delete;
    ~t_task_block() { CoTaskMemFree(m_block); }

    // Frees what is held and allocates `bytes` zero-filled bytes; throws std::bad_alloc.
    void allocate(std::size_t bytes);
    BYTE* get() const noexcept { return static_cast<BYTE*>(m_block); }
    template <typename T>
    T* as() const noexcept
    {
        return static_cast<T*>(m_block);
    }
    void reset() noexcept { CoTaskMemFree(std::exchange(m_block, nullptr)); }
    void* release() noexcept { return std::exchange(m_block, nullptr); }

private:
    void* m_block = nullptr;
};

// A task-allocator copy of the first `length` characters of `text` with a terminating 0;
// throws std::bad_alloc.
LPWSTR task_string_copy(const wchar_t* text, std::size_t length);

// Owns an open key and closes it on every path.
class t_key_owner
{
public:
    explicit t_key_owner(HKEY key = nullptr) noexcept : m_key(key) {}
    t_key_owner(const t_key_owner&) = delete;
    t_key_owner& operator=(const t_key_owner&) = delete;
    ~t_key_owner() { close(); }

    HKEY get() const noexcept { return m_key; }
    HKEY* put() noexcept
    {
        close();
        return &m_key;
    }
    HKEY release() noexcept { return std::exchange(m_key, nullptr); }
    void close() noexcept
    {
        if (m_key != nullptr)
            RegCloseKey(std::exchange(m_key, nullptr));
    }

private:
    HKEY m_key = nullptr;
};

}  // namespace voka::infrastructure::os::impl::Ole32::VokaSvcs::WindowsRegistryStorage
