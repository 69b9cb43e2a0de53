// The functions that find classes and program ids in the registry: CLSIDFromProgID,
// ProgIDFromCLSID, CoGetClassObject, CoCreateInstance and GetClassFile. They need the registry,
// which the layer does not have yet, so every class and program id is unregistered and each
// function gives the result Windows gives for an unregistered one.
#include "thread_state.h"

using voka::platform::ole32::is_thread_in_apartment;

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, LPCLSID class_id)
{
    if (prog_id == nullptr || class_id == nullptr)
        return E_INVALIDARG;
    *class_id = CLSID_NULL;
    // Needs the registry, which the layer does not have yet: the program id is unregistered.
    return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID /*class_id*/, LPOLESTR* prog_id)
{
    if (prog_id == nullptr)
        return E_INVALIDARG;
    *prog_id = nullptr;
    // Needs the registry, which the layer does not have yet: the class is unregistered.
    return REGDB_E_CLASSNOTREG;
}

HRESULT CoGetClassObject(REFCLSID /*class_id*/, DWORD /*class_context*/,
                         COSERVERINFO* /*server_info*/, REFIID /*iid*/, LPVOID* object)
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    // Needs the registry, which the layer does not have yet: the class is unregistered.
    return REGDB_E_CLASSNOTREG;
}

HRESULT CoCreateInstance(REFCLSID /*class_id*/, LPUNKNOWN /*outer*/, DWORD /*class_context*/,
                         REFIID /*iid*/, LPVOID* object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    // Needs the registry, which the layer does not have yet: the class is unregistered.
    return REGDB_E_CLASSNOTREG;
}

HRESULT GetClassFile(LPCOLESTR file_name, CLSID* class_id)
{
    if (file_name == nullptr || class_id == nullptr)
        return E_INVALIDARG;
    *class_id = CLSID_NULL;
    // Needs the registry, which the layer does not have yet: no file type is registered.
    return MK_E_CANTOPENFILE;
}
