// The gate's forwarders: VOKA_OS__CreateErrorInfo, VOKA_OS__GetErrorInfo and VOKA_OS__SetErrorInfo
// are OLE32's own functions under the gate's names. Windows does this with export forwarders that
// the loader resolves to OLE32's exports; on ELF each name is a GNU indirect function whose
// resolver gives OLE32's address, so a client's import of the name, and a lookup by name, bind
// directly to OLE32's function and no code of the gate runs when it is called.
#include "voka/infrastructure/os/windows/ole32/gate.h"

namespace
{

// Resolvers run while the dynamic loader binds a name, after OLE32 (which the gate imports) has
// been relocated; they only read an import slot.
extern "C" decltype(&CreateErrorInfo) voka_gate_resolve_create_error_info()
{
    return &CreateErrorInfo;
}

extern "C" decltype(&GetErrorInfo) voka_gate_resolve_get_error_info()
{
    return &GetErrorInfo;
}

extern "C" decltype(&SetErrorInfo) voka_gate_resolve_set_error_info()
{
    return &SetErrorInfo;
}

}  // namespace

HRESULT VOKA_OS__CreateErrorInfo(ICreateErrorInfo** error_info)
    __attribute__((ifunc("voka_gate_resolve_create_error_info")));
HRESULT VOKA_OS__GetErrorInfo(ULONG reserved, IErrorInfo** error_info)
    __attribute__((ifunc("voka_gate_resolve_get_error_info")));
HRESULT VOKA_OS__SetErrorInfo(ULONG reserved, IErrorInfo* error_info)
    __attribute__((ifunc("voka_gate_resolve_set_error_info")));
