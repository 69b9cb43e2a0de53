// The gate's jump entries: each passes the caller's arguments on to the OLE32 function of the same
// name and returns its result unchanged. Each body is one tail call, which the compiler turns into
// a single indirect jump through the gate's import slot (the GOT entry of the OLE32 function):
// OLE32 runs with the caller's own arguments and return address. This file is always compiled
// with sibling-call optimisation and without PLT stubs (see CMakeLists.txt), so that holds in
// every build type.
#include "voka/infrastructure/os/windows/ole32/gate.h"

HRESULT VOKA_OS__CLSIDFromProgID(LPCOLESTR prog_id, LPCLSID class_id)
{
    return CLSIDFromProgID(prog_id, class_id);
}

HRESULT VOKA_OS__CLSIDFromString(LPCOLESTR text, LPCLSID class_id)
{
    return CLSIDFromString(text, class_id);
}

HRESULT VOKA_OS__CoCreateFreeThreadedMarshaler(LPUNKNOWN outer, LPUNKNOWN* marshaler)
{
    return CoCreateFreeThreadedMarshaler(outer, marshaler);
}

HRESULT VOKA_OS__CoCreateInstance(REFCLSID class_id, LPUNKNOWN outer, DWORD class_context,
                                  REFIID iid, LPVOID* object)
{
    return CoCreateInstance(class_id, outer, class_context, iid, object);
}

HRESULT VOKA_OS__CoGetClassObject(REFCLSID class_id, DWORD class_context, COSERVERINFO* server_info,
                                  REFIID iid, LPVOID* object)
{
    return CoGetClassObject(class_id, class_context, server_info, iid, object);
}

HRESULT VOKA_OS__CoInitialize(LPVOID reserved)
{
    return CoInitialize(reserved);
}

HRESULT VOKA_OS__CoInitializeEx(LPVOID reserved, DWORD co_init)
{
    return CoInitializeEx(reserved, co_init);
}

HRESULT VOKA_OS__CoMarshalInterface(LPSTREAM stream, REFIID iid, LPUNKNOWN object,
                                    DWORD destination_context, LPVOID destination_context_data,
                                    DWORD marshal_flags)
{
    return CoMarshalInterface(stream, iid, object, destination_context, destination_context_data,
                              marshal_flags);
}

HRESULT VOKA_OS__CoReleaseMarshalData(LPSTREAM stream)
{
    return CoReleaseMarshalData(stream);
}

void VOKA_OS__CoUninitialize()
{
    CoUninitialize();
}

HRESULT VOKA_OS__CoUnmarshalInterface(LPSTREAM stream, REFIID iid, LPVOID* object)
{
    return CoUnmarshalInterface(stream, iid, object);
}

HRESULT VOKA_OS__CreateStreamOnHGlobal(HGLOBAL memory, BOOL delete_on_release, LPSTREAM* stream)
{
    return CreateStreamOnHGlobal(memory, delete_on_release, stream);
}

HRESULT VOKA_OS__GetClassFile(LPCOLESTR file_name, CLSID* class_id)
{
    return GetClassFile(file_name, class_id);
}

HRESULT VOKA_OS__OleInitialize(LPVOID reserved)
{
    return OleInitialize(reserved);
}

void VOKA_OS__OleUninitialize()
{
    OleUninitialize();
}

HRESULT VOKA_OS__ProgIDFromCLSID(REFCLSID class_id, LPOLESTR* prog_id)
{
    return ProgIDFromCLSID(class_id, prog_id);
}

int VOKA_OS__StringFromGUID2(REFGUID guid, LPOLESTR buffer, int buffer_size)
{
    return StringFromGUID2(guid, buffer, buffer_size);
}
