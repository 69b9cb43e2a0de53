// COM for POSIX hosts: the types, interfaces and functions of OLE32 that the system uses, with
// their Windows behaviour.
//
// The functions live in the OLE32 stand-in, a shared library of its own (libole32.so, CMake
// target voka_ole32), as ole32.dll is on Windows; code that calls them links voka_ole32. The
// stand-in also carries the BSTR functions (OLEAUT32's on Windows), which error objects need,
// and the global memory functions of voka/posix/global_memory.h (kernel32's on Windows).
//
// Interfaces are C++ structs whose virtual functions sit in the Windows vtable order; on this
// host's C++ ABI an interface without a virtual destructor has the COM layout. Interface ids
// are constants of this header. Every function is a C function with the Windows name, throws
// nothing and reports through its HRESULT (the global memory functions through the last error).
//
// Per-thread state (the apartment and the error object) belongs to the calling thread and is
// cleaned up when the thread ends.
#pragma once

#include "voka/posix/global_memory.h"
#include "voka/posix/types.h"

// ---- Declaration macros, as the SDK's ----

#define EXTERN_C extern "C"
#define STDAPICALLTYPE
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C type STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#define WINOLEAPI VOKA_OLE32_API HRESULT STDAPICALLTYPE
#define WINOLEAPI_(type) VOKA_OLE32_API type STDAPICALLTYPE
#define WINOLEAUTAPI VOKA_OLE32_API HRESULT STDAPICALLTYPE
#define WINOLEAUTAPI_(type) VOKA_OLE32_API type STDAPICALLTYPE

// ---- Base types ----

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A counted wide string: a length prefix (in bytes) sits just before the characters, which end
// with a NUL that the length does not count. Made and freed only by the Sys* functions below.
using BSTR = OLECHAR*;
using LPCLSID = CLSID*;
using LPIID = IID*;
using LPGUID = GUID*;

#ifndef VOKA_HAS_LARGE_INTEGER
#define VOKA_HAS_LARGE_INTEGER
union LARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    };
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER
{
    struct
    {
        DWORD LowPart;
        DWORD HighPart;
    };
    struct
    {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PULARGE_INTEGER = ULARGE_INTEGER*;
#endif

#ifndef _FILETIME_
#define _FILETIME_
struct FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;
using LPFILETIME = FILETIME*;
#endif

// ---- HRESULT codes ----

#define NOERROR S_OK
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110u))
#define CLASS_E_CLASSNOTAVAILABLE (static_cast<HRESULT>(0x80040111u))
#define REGDB_E_READREGDB (static_cast<HRESULT>(0x80040150u))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154u))
#define MK_E_INVALIDEXTENSION (static_cast<HRESULT>(0x800401E6u))
#define MK_E_CANTOPENFILE (static_cast<HRESULT>(0x800401EAu))
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0u))
#define CO_E_CLASSSTRING (static_cast<HRESULT>(0x800401F3u))
#define CO_E_DLLNOTFOUND (static_cast<HRESULT>(0x800401F8u))
#define CO_E_ERRORINDLL (static_cast<HRESULT>(0x800401F9u))
#define CO_E_NOT_SUPPORTED (static_cast<HRESULT>(0x80004021u))
#define RPC_E_CHANGED_MODE (static_cast<HRESULT>(0x80010106u))
#define RPC_E_INVALID_OBJREF (static_cast<HRESULT>(0x8001011Du))
#define STG_E_INVALIDFUNCTION (static_cast<HRESULT>(0x80030001u))
#define STG_E_ACCESSDENIED (static_cast<HRESULT>(0x80030005u))
#define STG_E_INVALIDHANDLE (static_cast<HRESULT>(0x80030006u))
#define STG_E_INSUFFICIENTMEMORY (static_cast<HRESULT>(0x80030008u))
#define STG_E_INVALIDPOINTER (static_cast<HRESULT>(0x80030009u))
#define STG_E_SEEKERROR (static_cast<HRESULT>(0x80030019u))
#define STG_E_WRITEFAULT (static_cast<HRESULT>(0x8003001Du))
#define STG_E_READFAULT (static_cast<HRESULT>(0x8003001Eu))
#define STG_E_INVALIDPARAMETER (static_cast<HRESULT>(0x80030057u))
#define STG_E_MEDIUMFULL (static_cast<HRESULT>(0x80030070u))
#define STG_E_INVALIDFLAG (static_cast<HRESULT>(0x800300FFu))
#define STG_E_REVERTED (static_cast<HRESULT>(0x80030102u))

// ---- Interface and class ids ----

inline constexpr GUID GUID_NULL{0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr CLSID CLSID_NULL = GUID_NULL;
inline constexpr IID IID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMarshal{
    0x00000003, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStream{
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ISequentialStream{
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IErrorInfo{
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo{
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
// The class of the free-threaded marshaler: what its IMarshal::GetUnmarshalClass reports.
inline constexpr CLSID CLSID_InProcFreeMarshaler{
    0x0000033A, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline bool IsEqualGUID(REFGUID first, REFGUID second) noexcept
{
    return first == second;
}
inline bool IsEqualIID(REFIID first, REFIID second) noexcept
{
    return first == second;
}
inline bool IsEqualCLSID(REFCLSID first, REFCLSID second) noexcept
{
    return first == second;
}

// ---- Interfaces ----

// The root of every COM interface: identity, and lifetime by reference counting.
// QueryInterface: a null out-pointer gives E_POINTER; a failure stores null and gives
// E_NOINTERFACE; a success counts the reference it stores. Asking any interface of an object
// for IID_IUnknown gives the same pointer every time. AddRef and Release return the new count
// (meant for debugging only); the last Release destroys the object.
struct IUnknown
{
    STDMETHOD(QueryInterface)(REFIID iid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
using LPUNKNOWN = IUnknown*;

// A description of a failure, set for the thread by SetErrorInfo and taken by GetErrorInfo.
// Each getter hands out a copy (a BSTR the caller frees with SysFreeString; NULL when the text
// was never set) and fails with E_INVALIDARG for a null out-pointer.
struct IErrorInfo : IUnknown
{
    STDMETHOD(GetGUID)(GUID* guid) PURE;
    STDMETHOD(GetSource)(BSTR* source) PURE;
    STDMETHOD(GetDescription)(BSTR* description) PURE;
    STDMETHOD(GetHelpFile)(BSTR* help_file) PURE;
    STDMETHOD(GetHelpContext)(DWORD* help_context) PURE;
};
using LPERRORINFO = IErrorInfo*;

// Fills in the error object made by CreateErrorInfo. A null text clears the field.
struct ICreateErrorInfo : IUnknown
{
    STDMETHOD(SetGUID)(REFGUID guid) PURE;
    STDMETHOD(SetSource)(LPOLESTR source) PURE;
    STDMETHOD(SetDescription)(LPOLESTR description) PURE;
    STDMETHOD(SetHelpFile)(LPOLESTR help_file) PURE;
    STDMETHOD(SetHelpContext)(DWORD help_context) PURE;
};
using LPCREATEERRORINFO = ICreateErrorInfo*;

#define STREAM_SEEK_SET 0u
#define STREAM_SEEK_CUR 1u
#define STREAM_SEEK_END 2u
#define STGC_DEFAULT 0u
#define STATFLAG_DEFAULT 0u
#define STATFLAG_NONAME 1u
#define STATFLAG_NOOPEN 2u
#define STGTY_STORAGE 1u
#define STGTY_STREAM 2u
#define STGTY_LOCKBYTES 3u
#define STGTY_PROPERTY 4u
#define STGM_READ 0x00000000u
#define STGM_WRITE 0x00000001u
#define STGM_READWRITE 0x00000002u
#define LOCK_WRITE 1u
#define LOCK_EXCLUSIVE 2u
#define LOCK_ONLYONCE 4u

// What IStream::Stat reports.
struct STATSTG
{
    LPOLESTR pwcsName;  // CoTaskMemAlloc'ed name, or NULL (streams on memory have none)
    DWORD type;         // STGTY_*
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

// A stream of bytes read and written in order.
struct ISequentialStream : IUnknown
{
    STDMETHOD(Read)(void* buffer, ULONG bytes, ULONG* bytes_read) PURE;
    STDMETHOD(Write)(const void* buffer, ULONG bytes, ULONG* bytes_written) PURE;
};

// A stream with a seek pointer and a size. (Formatting is off for the interfaces whose
// declarations wrap: clang-format would split the STDMETHOD macros from their parameters.)
// clang-format off
struct IStream : ISequentialStream
{
    STDMETHOD(Seek)(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* new_position) PURE;
    STDMETHOD(SetSize)(ULARGE_INTEGER new_size) PURE;
    STDMETHOD(CopyTo)(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* bytes_read,
                      ULARGE_INTEGER* bytes_written) PURE;
    STDMETHOD(Commit)(DWORD commit_flags) PURE;
    STDMETHOD(Revert)() PURE;
    STDMETHOD(LockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD lock_type) PURE;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER offset, ULARGE_INTEGER bytes, DWORD lock_type) PURE;
    STDMETHOD(Stat)(STATSTG* statistics, DWORD stat_flags) PURE;
    STDMETHOD(Clone)(IStream** stream) PURE;
};
// clang-format on
using LPSTREAM = IStream*;

// Marshal contexts and flags.
#define MSHCTX_LOCAL 0u
#define MSHCTX_NOSHAREDMEM 1u
#define MSHCTX_DIFFERENTMACHINE 2u
#define MSHCTX_INPROC 3u
#define MSHCTX_CROSSCTX 4u
#define MSHLFLAGS_NORMAL 0u
#define MSHLFLAGS_TABLESTRONG 1u
#define MSHLFLAGS_TABLEWEAK 2u
#define MSHLFLAGS_NOPING 4u

// Custom marshaling of an object: what the free-threaded marshaler implements.
// clang-format off
struct IMarshal : IUnknown
{
    STDMETHOD(GetUnmarshalClass)(REFIID iid, void* object, DWORD destination_context,
                                 void* destination_context_data, DWORD marshal_flags,
                                 CLSID* class_id) PURE;
    STDMETHOD(GetMarshalSizeMax)(REFIID iid, void* object, DWORD destination_context,
                                 void* destination_context_data, DWORD marshal_flags,
                                 DWORD* size) PURE;
    STDMETHOD(MarshalInterface)(IStream* stream, REFIID iid, void* object,
                                DWORD destination_context, void* destination_context_data,
                                DWORD marshal_flags) PURE;
    STDMETHOD(UnmarshalInterface)(IStream* stream, REFIID iid, void** object) PURE;
    STDMETHOD(ReleaseMarshalData)(IStream* stream) PURE;
    STDMETHOD(DisconnectObject)(DWORD reserved) PURE;
};
// clang-format on
using LPMARSHAL = IMarshal*;

// ---- Apartments ----

enum COINIT
{
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

// Windows: makes the calling thread a member of an apartment: a single-threaded one with
// COINIT_APARTMENTTHREADED, the process's multithreaded one otherwise. The thread counts its
// initialisations: the first returns S_OK, each further one of the same model S_FALSE (and
// needs its own CoUninitialize); one that asks for the other model returns RPC_E_CHANGED_MODE
// and counts nothing. A non-null `reserved`, or flags beyond the COINIT values, give
// E_INVALIDARG. COINIT_DISABLE_OLE1DDE and COINIT_SPEED_OVER_MEMORY are accepted; they change
// nothing here. There is no message loop: a single-threaded apartment is only a count.
WINOLEAPI CoInitializeEx(LPVOID reserved, DWORD co_init);

// Windows: CoInitializeEx(reserved, COINIT_APARTMENTTHREADED).
WINOLEAPI CoInitialize(LPVOID reserved);

// Windows: counts one initialisation of the calling thread off; the last one takes the thread
// out of its apartment, after which it may join either model again. Without a count, nothing
// happens.
WINOLEAPI_(void) CoUninitialize();

// Windows: CoInitializeEx(NULL, COINIT_APARTMENTTHREADED) and, when that succeeds, counts an
// OLE initialisation of the thread. Returns what CoInitializeEx returned: S_OK, S_FALSE, or
// RPC_E_CHANGED_MODE in a thread of the multithreaded apartment (then nothing is counted).
// A non-null `reserved` gives E_INVALIDARG. There is no clipboard or drag and drop here.
WINOLEAPI OleInitialize(LPVOID reserved);

// Windows: counts one OLE initialisation off and calls CoUninitialize. Without an OLE
// initialisation of the thread, nothing happens.
WINOLEAPI_(void) OleUninitialize();

// ---- The task allocator ----

// Windows: allocates `bytes` bytes (0 gives a valid, distinct block) aligned for any type;
// NULL when memory runs out. The block belongs to whoever receives it; CoTaskMemFree frees it.
// Works without an apartment.
WINOLEAPI_(LPVOID) CoTaskMemAlloc(SIZE_T bytes);

// Windows: resizes a task-allocator block, keeping its first bytes; a NULL `block` allocates,
// `bytes` 0 frees the block and returns NULL. On failure returns NULL and leaves the block as it
// was.
WINOLEAPI_(LPVOID) CoTaskMemRealloc(LPVOID block, SIZE_T bytes);

// Windows: frees a task-allocator block; NULL is ignored.
WINOLEAPI_(void) CoTaskMemFree(LPVOID block);

// ---- BSTR (OLEAUT32's on Windows) ----

// Windows: a new BSTR holding a copy of the zero-terminated `text`; NULL for a NULL `text` or
// when memory runs out.
WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* text);

// Windows: a new BSTR of `length` characters copied from `text` (which may hold NULs), or
// zeroed when `text` is NULL, plus the terminating NUL; NULL when memory runs out.
WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* text, UINT length);

// Windows: frees a BSTR; NULL is ignored.
WINOLEAUTAPI_(void) SysFreeString(BSTR text);

// Windows: the length of a BSTR in characters, without the terminating NUL; 0 for NULL.
WINOLEAUTAPI_(UINT) SysStringLen(BSTR text);

// Windows: the length of a BSTR in bytes, without the terminating NUL; 0 for NULL. Characters
// are 4 bytes here (2 on Windows).
WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR text);

// ---- Error objects ----

// Windows: makes a new error object, with every field empty, and returns its ICreateErrorInfo
// (the same object answers IErrorInfo). E_INVALIDARG for a null `error_info`; E_OUTOFMEMORY.
// Works without an apartment.
WINOLEAPI CreateErrorInfo(ICreateErrorInfo** error_info);

// Windows: makes `error_info` (counted; NULL clears) the calling thread's error object,
// releasing the one it replaces. E_INVALIDARG when `reserved` is not 0. Works without an
// apartment. A thread's error object is released when the thread ends.
WINOLEAPI SetErrorInfo(ULONG reserved, IErrorInfo* error_info);

// Windows: hands the calling thread's error object to the caller (who releases it) and clears
// it: S_OK; S_FALSE with NULL stored when the thread has none. E_INVALIDARG when `reserved` is
// not 0 or `error_info` is null. Error objects of other threads are never seen.
WINOLEAPI GetErrorInfo(ULONG reserved, IErrorInfo** error_info);

// ---- GUID strings ----

// Windows: parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (exactly 38 characters, hex digits
// of either case) into `class_id`. A NULL `text` gives CLSID_NULL and S_OK. Any other text is
// taken as a program id and looked up as CLSIDFromProgID does (CO_E_CLASSSTRING when it is not
// registered); a text that starts with a brace but is not exactly of the form above gives
// CO_E_CLASSSTRING. On failure Windows leaves `class_id` undefined (here it is
// CLSID_NULL). E_INVALIDARG for a null `class_id`.
WINOLEAPI CLSIDFromString(LPCOLESTR text, LPCLSID class_id);

// Windows: writes `guid` as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex
// digits and a terminating NUL, and returns 39, the number of characters written with the
// NUL. A buffer of fewer than 39 characters (or none) gives 0 and is left untouched.
WINOLEAPI_(int) StringFromGUID2(REFGUID guid, LPOLESTR buffer, int buffer_size);

// ---- Streams on global memory ----

// Windows: makes a stream over the movable global memory block `memory`, whose bytes are the
// stream's initial contents and whose size (GlobalSize) is its initial size; a NULL `memory`
// gives an empty stream over a new block. The seek pointer starts at 0. Reads stop at the end
// of the stream (S_OK with fewer bytes); writes past the end grow the stream and the block
// (GlobalReAlloc; its handle stays the same), a seek past the end is allowed and a later write
// there fills the gap with zeros. The block may be larger than the stream: Stat gives the
// stream's size. Clones share the bytes and the size, each with its own seek pointer. When the
// last stream of the block is released, the block is freed if `delete_on_release` is TRUE;
// otherwise it stays the caller's, holding the stream's bytes. Commit and Revert do nothing and
// succeed; region locks fail with STG_E_INVALIDFUNCTION, as on Windows.
// Windows requires a movable block; a fixed one serves here as a stream that cannot grow beyond
// the bytes allocated for it (writes beyond them fail with STG_E_MEDIUMFULL).
// Failures: E_INVALIDARG for a null `stream` or a `memory` that is not a live block (checked
// here); E_OUTOFMEMORY. Works without an apartment.
WINOLEAPI CreateStreamOnHGlobal(HGLOBAL memory, BOOL delete_on_release, LPSTREAM* stream);

// Windows: the block under a stream made by CreateStreamOnHGlobal. E_INVALIDARG for a null
// argument or a stream of another kind (then NULL is stored).
WINOLEAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory);

// ---- Marshaling within the process ----
//
// Here every apartment shares the process's address space and no apartment has a message
// loop, so an interface marshaled for a context in this process (MSHCTX_INPROC or
// MSHCTX_CROSSCTX) is passed on as the object's own pointer, as the free-threaded marshaler
// passes it on Windows: the marshal data is a small record (a signature, the marshal flags, the
// interface id and the pointer) that holds a reference to the object until it is unmarshaled
// (MSHLFLAGS_NORMAL) or released by CoReleaseMarshalData (MSHLFLAGS_TABLESTRONG);
// MSHLFLAGS_TABLEWEAK holds none. Contexts outside the process (MSHCTX_LOCAL,
// MSHCTX_NOSHAREDMEM, MSHCTX_DIFFERENTMACHINE) give E_NOTIMPL: there is no remoting here.

// Windows: writes the marshal data of `object`'s `iid` interface into `stream` at its seek
// pointer, which ends up after the data. The object must answer QueryInterface for `iid`
// (E_NOINTERFACE otherwise). E_INVALIDARG for a null stream or object, an unknown context, or
// unknown or contradictory flags (TABLESTRONG with TABLEWEAK);
// CO_E_NOTINITIALIZED when the calling thread is in no apartment; the stream's failure, or
// STG_E_MEDIUMFULL when it took fewer bytes than offered (no reference is then held).
WINOLEAPI CoMarshalInterface(LPSTREAM stream, REFIID iid, LPUNKNOWN object,
                             DWORD destination_context, LPVOID destination_context_data,
                             DWORD marshal_flags);

// Windows: reads marshal data from `stream` and stores the object's `iid` interface (the
// marshaled one for IID_NULL) in `*object`, counted for the caller. Data marshaled with
// MSHLFLAGS_NORMAL is used up: its reference is released whether or not the object answered
// `iid`. `*object` is set to NULL first and on every failure: E_INVALIDARG for a null argument;
// CO_E_NOTINITIALIZED when the calling thread is in no apartment; STG_E_READFAULT when the
// stream ends inside the data; RPC_E_INVALID_OBJREF when the data is not marshal data of this
// process; E_NOINTERFACE.
WINOLEAPI CoUnmarshalInterface(LPSTREAM stream, REFIID iid, LPVOID* object);

// Windows: reads marshal data from `stream` and releases the reference it holds (data
// marshaled with MSHLFLAGS_TABLESTRONG, or with MSHLFLAGS_NORMAL that was never unmarshaled).
// Releasing the same data twice, or NORMAL data already unmarshaled, releases twice, as on
// Windows. E_INVALIDARG for a null stream; CO_E_NOTINITIALIZED, STG_E_READFAULT and
// RPC_E_INVALID_OBJREF as for CoUnmarshalInterface.
WINOLEAPI CoReleaseMarshalData(LPSTREAM stream);

// Windows: makes a free-threaded marshaler aggregated by `outer` (NULL: not aggregated) and
// stores its inner IUnknown in `*marshaler`. An object that aggregates it answers IMarshal
// through it; its MarshalInterface writes the in-process record described above for any
// context (contexts outside the process give E_NOTIMPL), and GetUnmarshalClass reports
// CLSID_InProcFreeMarshaler. E_INVALIDARG for a null `marshaler`; E_OUTOFMEMORY.
WINOLEAPI CoCreateFreeThreadedMarshaler(LPUNKNOWN outer, LPUNKNOWN* marshaler);

// ---- Classes ----

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL                                                                                 \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

struct COAUTHINFO;
// Names the machine for a remote server; only NULL is meaningful here.
struct COSERVERINFO
{
    DWORD dwReserved1;
    LPWSTR pwszName;
    COAUTHINFO* pAuthInfo;
    DWORD dwReserved2;
};

// Classes are found in the registry (voka/posix/registry.h), under HKEY_CLASSES_ROOT:
//     <ProgID>\CLSID                     default value: the class id "{...}" of the program id
//     CLSID\{...}\ProgID                 default value: the program id of the class
//     CLSID\{...}\InprocServer32         default value: the file of the in-process server
//     .<extension>                        default value: the program id of files of that type
// Strings may be REG_SZ or REG_EXPAND_SZ (whose %NAME% parts are replaced by the environment's
// values, unknown names left as they stand).

// A class object's interface: makes objects of its class.
// CreateInstance: an object aggregated by `outer` (NULL: not aggregated) asked for `iid`.
// LockServer: keeps the server loaded (TRUE) or lets it go (FALSE).
struct IClassFactory : IUnknown
{
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) PURE;
    STDMETHOD(LockServer)(BOOL lock) PURE;
};
using LPCLASSFACTORY = IClassFactory*;

// What an in-process server exports (extern "C", by this name): its class object for `class_id`
// asked for `iid`, or CLASS_E_CLASSNOTAVAILABLE for a class it does not serve.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID class_id, REFIID iid, LPVOID* object);

// Windows: the class id that the registry lists for a program id
// (HKEY_CLASSES_ROOT\<ProgID>\CLSID). An unregistered program id, or a registered class id that is not in the "{...}" form,
// gives CO_E_CLASSSTRING with CLSID_NULL stored. E_INVALIDARG for a null argument. Works without
// an apartment.
WINOLEAPI CLSIDFromProgID(LPCOLESTR prog_id, LPCLSID class_id);

// Windows: the program id that the registry lists for a class
// (HKEY_CLASSES_ROOT\CLSID\{...}\ProgID), in a string the caller frees with CoTaskMemFree. A class without one, or not
// registered at all, gives REGDB_E_CLASSNOTREG with NULL stored; E_OUTOFMEMORY. E_INVALIDARG for
// a null `prog_id`. Works without an apartment.
WINOLEAPI ProgIDFromCLSID(REFCLSID class_id, LPOLESTR* prog_id);

// Windows: the class object of a registered class, asked for `iid`. `*object` is set to NULL
// first; E_INVALIDARG for a null `object`; CO_E_NOTINITIALIZED when the calling thread is in no
// apartment; E_INVALIDARG for a `class_context` without any of the CLSCTX server kinds.
// With CLSCTX_INPROC_SERVER in `class_context`, the server module registered under
// InprocServer32 is loaded with LoadLibraryW (once per process; it stays loaded until the
// process ends) and its DllGetClassObject is asked for the class object; its result comes back
// unchanged. A class that is not registered, or has no in-process server while the context asks
// for one, gives REGDB_E_CLASSNOTREG; a server file that cannot be loaded CO_E_DLLNOTFOUND; a
// module without DllGetClassObject CO_E_ERRORINDLL.
// Here: there are no local or remote servers and no in-process handlers, so a context without
// CLSCTX_INPROC_SERVER finds no server: REGDB_E_CLASSNOTREG, as Windows reports a class whose
// registration lacks the server kind asked for. `server_info` is ignored (Windows uses it for
// remote servers only). Windows unloads servers at the last CoUninitialize or in
// CoFreeUnusedLibraries (outside the subset); the ThreadingModel value is not read, since no
// apartment here needs a proxy.
WINOLEAPI CoGetClassObject(REFCLSID class_id, DWORD class_context, COSERVERINFO* server_info,
                           REFIID iid, LPVOID* object);

// Windows: makes an object of a registered class: CoGetClassObject for IClassFactory, then its
// CreateInstance(outer, iid, object), whose result comes back unchanged. `*object` is set to
// NULL first; E_POINTER for a null `object`; the failures of CoGetClassObject otherwise.
WINOLEAPI CoCreateInstance(REFCLSID class_id, LPUNKNOWN outer, DWORD class_context, REFIID iid,
                           LPVOID* object);

// Windows: the class of a file. CLSID_NULL is stored first; E_INVALIDARG for a null argument.
// A file that cannot be opened for reading gives MK_E_CANTOPENFILE. Then its extension (the text
// from the last dot of the file's name) is looked up: HKEY_CLASSES_ROOT\.<extension> names a
// program id, whose class id (as CLSIDFromProgID) is the result. A name without an extension, an
// unregistered extension or one whose program id has no class gives MK_E_INVALIDEXTENSION.
// Here: Windows first reads the class from a structured-storage file's header and matches the
// byte patterns of HKEY_CLASSES_ROOT\FileType; neither exists here, files are known by their
// extension only.
WINOLEAPI GetClassFile(LPCOLESTR file_name, CLSID* class_id);
