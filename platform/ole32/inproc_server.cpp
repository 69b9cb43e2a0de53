// The in-process servers of the process. Windows loads a server module once and keeps it until
// COM lets it go; here a server stays loaded until the process ends, so that a class object or
// object it made never outlives its code.
#include "inproc_server.h"

#include <map>
#include <mutex>
#include <string>

namespace voka::platform::ole32
{

namespace
{

// The loaded servers by file name, each with its DllGetClassObject. Entries are never removed,
// and the modules are never freed: the process's end unloads them.
struct t_server_table
{
    std::mutex lock;
    std::map<std::wstring, LPFNGETCLASSOBJECT> servers;
};

t_server_table& server_table()
{
    static t_server_table table;
    return table;
}

// Loads `file`. Gives the entry, or null with `result` set.
LPFNGETCLASSOBJECT load_server(const std::wstring& file, HRESULT& result)
{
    const HMODULE module = LoadLibraryW(file.c_str());
    if (module == nullptr)
    {
        result = CO_E_DLLNOTFOUND;
        return nullptr;
    }
    const FARPROC entry = GetProcAddress(module, "DllGetClassObject");
    if (entry == nullptr)
    {
        FreeLibrary(module);
        result = CO_E_ERRORINDLL;
        return nullptr;
    }
    result = S_OK;
    return reinterpret_cast<LPFNGETCLASSOBJECT>(entry);
}

}  // namespace

HRESULT get_inproc_class_object(const std::wstring& file, REFCLSID class_id, REFIID iid,
                                void** object)
{
    t_server_table& table = server_table();
    LPFNGETCLASSOBJECT get_class_object = nullptr;
    {
        const std::lock_guard<std::mutex> guard(table.lock);
        const auto found = table.servers.find(file);
        if (found != table.servers.end())
            get_class_object = found->second;
    }
    if (get_class_object == nullptr)
    {
        // Loaded without the table's lock: the server's entry point runs under the loader lock
        // and may itself ask for class objects, on this thread or another.
        HRESULT result = S_OK;
        get_class_object = load_server(file, result);
        if (get_class_object == nullptr)
            return result;
        const std::lock_guard<std::mutex> guard(table.lock);
        // A load that another call finished first keeps the table's entry; this one's count
        // adds nothing, as the server stays loaded anyway.
        table.servers.emplace(file, get_class_object);
    }
    return get_class_object(class_id, iid, object);
}

}  // namespace voka::platform::ole32
