// The registry storage service from a client's side: writes a small configuration below
// HKEY_CURRENT_USER\Software\Voka\ServiceDemo through the COM gate's service, then walks the
// stored tree back and prints every storage and value. Run it with VOKA_REGISTRY naming a
// registry database of its own, and voka-reg shows the same keys.
#include "voka/infrastructure/os/windows/ole32/gate.h"
#include "voka/infrastructure/os/windows/ole32/registry_storage.h"
#include "voka/win32.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{

namespace service = voka::infrastructure::os::voka_svcs::registry_storage;
using service::VOKA_IRegistryStorage;
using service::VOKA_IRegistryStorageNames;

// Owns one interface reference.
template <typename t_interface>
class t_ref
{
public:
    t_ref() noexcept = default;
    t_ref(t_ref&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    t_ref(const t_ref&) = delete;
    t_ref& operator=(const t_ref&) = delete;
    ~t_ref()
    {
        if (m_pointer != nullptr)
            m_pointer->Release();
    }
    t_interface* operator->() const noexcept { return m_pointer; }
    t_interface* get() const noexcept { return m_pointer; }
    void** put() noexcept { return reinterpret_cast<void**>(&m_pointer); }

private:
    t_interface* m_pointer = nullptr;
};

// Owns a block of the task allocator that the service handed out.
class t_task_memory
{
public:
    t_task_memory() noexcept = default;
    t_task_memory(const t_task_memory&) = delete;
    t_task_memory& operator=(const t_task_memory&) = delete;
    ~t_task_memory() { VOKA_OS__CoTaskMemFree(m_block); }
    template <typename T>
    T** put() noexcept
    {
        return reinterpret_cast<T**>(&m_block);
    }
    template <typename T>
    const T* get() const noexcept
    {
        return static_cast<const T*>(m_block);
    }

private:
    void* m_block = nullptr;
};

// Stops the demo with the failing step and its HRESULT.
void check(const char* step, HRESULT result)
{
    if (FAILED(result))
    {
        std::fprintf(stderr, "registry_service_demo: %s failed with 0x%08X\n", step,
                     static_cast<unsigned>(result));
        std::exit(1);
    }
}

std::string narrow(const std::wstring& text)
{
    std::string bytes;
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size > 1)
    {
        bytes.resize(static_cast<std::size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
        bytes.resize(static_cast<std::size_t>(size) - 1);
    }
    return bytes;
}

t_ref<VOKA_IRegistryStorage> open(VOKA_IRegistryStorage* parent, const wchar_t* path, DWORD mode)
{
    t_ref<VOKA_IRegistryStorage> storage;
    check("OpenSubStorage",
          parent->OpenSubStorage(path, mode, TRUE, service::IID_VOKA_IRegistryStorage,
                                 storage.put()));
    return storage;
}

void set(VOKA_IRegistryStorage* storage, const wchar_t* name, DWORD kind, const void* data,
         std::size_t size)
{
    check("SetValue",
          storage->SetValue(name, kind, static_cast<DWORD>(size), static_cast<const BYTE*>(data)));
}

void set_text(VOKA_IRegistryStorage* storage, const wchar_t* name, const std::wstring& text)
{
    set(storage, name, service::k_kind_string, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// Writes the configuration: a few settings and a sub-storage for the window.
void write_configuration(VOKA_IRegistryStorage* root)
{
    auto demo = open(root, L"HKCU\\Software\\Voka\\ServiceDemo", service::k_access_all);
    set_text(demo.get(), L"Greeting", L"Hello from the registry storage service");
    const DWORD retries = 3;
    set(demo.get(), L"Retries", service::k_kind_dword, &retries, sizeof(retries));
    const std::wstring servers(L"alpha\0beta\0\0", 12);
    set(demo.get(), L"Servers", service::k_kind_multi_string, servers.data(),
        servers.size() * sizeof(wchar_t));
    set(demo.get(), L"LogFolder", service::k_kind_expand_string, L"%HOME%/voka-logs",
        sizeof(L"%HOME%/voka-logs"));
    auto window = open(demo.get(), L"Window", service::k_access_all);
    const std::uint64_t size = (std::uint64_t{768} << 32) | 1024;
    set(window.get(), L"Size", service::k_kind_qword, &size, sizeof(size));
    const BYTE colour[3] = {0x20, 0x40, 0x80};
    set(window.get(), L"Colour", service::k_kind_binary, colour, sizeof(colour));
}

std::string describe(DWORD kind, DWORD size, const BYTE* data)
{
    char text[64];
    switch (kind)
    {
    case service::k_kind_string:
    case service::k_kind_expand_string:
        return (kind == service::k_kind_string ? "string \"" : "expandable string \"") +
               narrow(reinterpret_cast<const wchar_t*>(data)) + "\"";
    case service::k_kind_multi_string:
    {
        std::string all = "strings";
        for (const auto* item = reinterpret_cast<const wchar_t*>(data); *item != L'\0';
             item += std::wcslen(item) + 1)
            all += " \"" + narrow(item) + "\"";
        return all;
    }
    case service::k_kind_dword:
    {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof(number));
        std::snprintf(text, sizeof text, "dword %u", static_cast<unsigned>(number));
        return text;
    }
    case service::k_kind_qword:
    {
        std::uint64_t number = 0;
        std::memcpy(&number, data, sizeof(number));
        std::snprintf(text, sizeof text, "qword 0x%016llX",
                      static_cast<unsigned long long>(number));
        return text;
    }
    default:
    {
        std::string bytes = "binary";
        for (DWORD index = 0; index < size; ++index)
        {
            std::snprintf(text, sizeof text, " %02X", data[index]);
            bytes += text;
        }
        return bytes;
    }
    }
}

// Prints a storage's values, then each sub-storage below it, indented by depth.
void walk(VOKA_IRegistryStorage* storage, const std::string& name, int depth)
{
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    std::printf("%s[%s]\n", indent.c_str(), name.c_str());
    t_ref<VOKA_IRegistryStorageNames> values;
    check("GetValueNames",
          storage->GetValueNames(service::IID_VOKA_IRegistryStorageNames, values.put()));
    for (;;)
    {
        t_task_memory value_name;
        const HRESULT result = values->Next(value_name.put<wchar_t>());
        check("Next value", result);
        if (result == S_FALSE)
            break;
        DWORD kind = 0;
        DWORD size = 0;
        t_task_memory data;
        check("GetValue",
              storage->GetValue(value_name.get<wchar_t>(), &kind, &size, data.put<BYTE>()));
        std::printf("%s  %s = %s\n", indent.c_str(), narrow(value_name.get<wchar_t>()).c_str(),
                    describe(kind, size, data.get<BYTE>()).c_str());
    }
    t_ref<VOKA_IRegistryStorageNames> children;
    check("GetSubStorageNames",
          storage->GetSubStorageNames(service::IID_VOKA_IRegistryStorageNames, children.put()));
    for (;;)
    {
        t_task_memory child_name;
        const HRESULT result = children->Next(child_name.put<wchar_t>());
        check("Next sub-storage", result);
        if (result == S_FALSE)
            break;
        auto child = open(storage, child_name.get<wchar_t>(), service::k_access_read);
        walk(child.get(), narrow(child_name.get<wchar_t>()), depth + 1);
    }
}

}  // namespace

int main()
{
    t_ref<VOKA_IRegistryStorage> root;
    check("VOKA_OS__CoGetVokaService",
          VOKA_OS__CoGetVokaService(service::k_registry_storage_service_id,
                                    service::IID_VOKA_IRegistryStorage, root.put()));
    write_configuration(root.get());
    std::printf("Written through the registry storage service; read back:\n");
    auto demo = open(root.get(), L"HKCU\\Software\\Voka\\ServiceDemo", service::k_access_read);
    walk(demo.get(), "HKCU\\Software\\Voka\\ServiceDemo", 0);
    return 0;
}
