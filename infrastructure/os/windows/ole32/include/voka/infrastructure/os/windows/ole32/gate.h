// The COM gate's exports: the OLE32 functions under VOKA_OS__ names, the gate's API identifier
// and the entry of the registry storage service. Clients call OLE32 through these names only.
#pragma once

#include "voka/win32.h"

#define VOKA_GATE_API extern "C" __attribute__((visibility("default")))

// Passed on to OLE32 with the caller's arguments; OLE32's result comes back unchanged.
VOKA_GATE_API HRESULT VOKA_OS__CLSIDFromProgID(LPCOLESTR prog_id, LPCLSID class_id);
VOKA_GATE_API HRESULT VOKA_OS__CLSIDFromString(LPCOLESTR text, LPCLSID class_id);
VOKA_GATE_API HRESULT VOKA_OS__CoCreateFreeThreadedMarshaler(LPUNKNOWN outer, LPUNKNOWN* marshaler);
VOKA_GATE_API HRESULT VOKA_OS__CoCreateInstance(REFCLSID class_id, LPUNKNOWN outer,
                                                DWORD class_context, REFIID iid, LPVOID* object);
VOKA_GATE_API HRESULT VOKA_OS__CoGetClassObject(REFCLSID class_id, DWORD class_context,
                                                COSERVERINFO* server_info, REFIID iid,
                                                LPVOID* object);
VOKA_GATE_API HRESULT VOKA_OS__CoInitialize(LPVOID reserved);
VOKA_GATE_API HRESULT VOKA_OS__CoInitializeEx(LPVOID reserved, DWORD co_init);
VOKA_GATE_API HRESULT VOKA_OS__CoMarshalInterface(LPSTREAM stream, REFIID iid, LPUNKNOWN object,
                                                  DWORD destination_context,
                                                  LPVOID destination_context_data,
                                                  DWORD marshal_flags);
VOKA_GATE_API HRESULT VOKA_OS__CoReleaseMarshalData(LPSTREAM stream);
VOKA_GATE_API void VOKA_OS__CoUninitialize();
VOKA_GATE_API HRESULT VOKA_OS__CoUnmarshalInterface(LPSTREAM stream, REFIID iid, LPVOID* object);
VOKA_GATE_API HRESULT VOKA_OS__CreateStreamOnHGlobal(HGLOBAL memory, BOOL delete_on_release,
                                                     LPSTREAM* stream);
VOKA_GATE_API HRESULT VOKA_OS__GetClassFile(LPCOLESTR file_name, CLSID* class_id);
VOKA_GATE_API HRESULT VOKA_OS__OleInitialize(LPVOID reserved);
VOKA_GATE_API void VOKA_OS__OleUninitialize();
VOKA_GATE_API HRESULT VOKA_OS__ProgIDFromCLSID(REFCLSID class_id, LPOLESTR* prog_id);
VOKA_GATE_API int VOKA_OS__StringFromGUID2(REFGUID guid, LPOLESTR buffer, int buffer_size);

// OLE32's own functions under the gate's names: looking these up gives OLE32's addresses.
VOKA_GATE_API HRESULT VOKA_OS__CreateErrorInfo(ICreateErrorInfo** error_info);
VOKA_GATE_API HRESULT VOKA_OS__GetErrorInfo(ULONG reserved, IErrorInfo** error_info);
VOKA_GATE_API HRESULT VOKA_OS__SetErrorInfo(ULONG reserved, IErrorInfo* error_info);

// The COM task allocator: OLE32's CoTaskMemAlloc and CoTaskMemFree. Blocks of either allocator
// entry may be freed by either free entry.
VOKA_GATE_API LPVOID VOKA_OS__CoTaskMemAlloc(SIZE_T bytes);
VOKA_GATE_API void VOKA_OS__CoTaskMemFree(LPVOID block);

// Writes the gate's API identifier {A7602B24-06D8-4111-B5A1-DAC303A5CDB1} to `out` and returns
// TRUE; FALSE, writing nothing, for a null `out`.
VOKA_GATE_API BOOL VOKA_OS__GetComApiID(GUID* out);

// The registry storage service's entry: the object for `service_id` with interface `iid`.
VOKA_GATE_API HRESULT VOKA_OS__CoGetVokaService(REFGUID service_id, REFIID iid, LPVOID* object);
