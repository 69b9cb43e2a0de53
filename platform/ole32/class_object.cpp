// CoGetClassObject and CoCreateInstance for in-process servers registered under
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32.
#include "class_keys.h"
#include "com_object.h"
#include "inproc_server.h"
#include "thread_state.h"

#include <string>

using voka::platform::ole32::class_key_path;
using voka::platform::ole32::get_inproc_class_object;
using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::is_thread_in_apartment;
using voka::platform::ole32::read_class_string;
using voka::platform::ole32::t_com_ptr;

HRESULT CoGetClassObject(REFCLSID class_id, DWORD class_context, COSERVERINFO* /*server_info*/,
                         REFIID iid, LPVOID* object)
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    if ((class_context & CLSCTX_ALL) == 0)
        return E_INVALIDARG;
    try
    {
        // No local or remote servers and no in-process handlers exist here.
        if ((class_context & CLSCTX_INPROC_SERVER) == 0)
            return REGDB_E_CLASSNOTREG;
        std::wstring file;
        const LSTATUS error =
            read_class_string(class_key_path(class_id) + L"\\InprocServer32", file);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_INVALID_DATA ||
            (error == ERROR_SUCCESS && file.empty()))
            return REGDB_E_CLASSNOTREG;
        if (error != ERROR_SUCCESS)
            return REGDB_E_READREGDB;
        const HRESULT result = get_inproc_class_object(file, class_id, iid, object);
        if (FAILED(result))
            *object = nullptr;  // whatever the server left there is not the caller's
        return result;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }
}

HRESULT CoCreateInstance(REFCLSID class_id, LPUNKNOWN outer, DWORD class_context, REFIID iid,
                         LPVOID* object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    t_com_ptr<IClassFactory> factory;
    const HRESULT result =
        CoGetClassObject(class_id, class_context, nullptr, IID_IClassFactory, factory.put_void());
    if (FAILED(result))
        return result;
    return factory->CreateInstance(outer, iid, object);
}
