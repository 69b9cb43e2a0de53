// The in-process marshal record: a signature, the marshal flags, the interface id and the
// interface pointer, in the host's byte order (the record never leaves the process).
#include "marshal_record.h"

#include "com_object.h"

#include <cstdint>

namespace voka::platform::ole32
{

namespace
{

constexpr DWORD k_record_signature = 0x4D50494Bu;  // "KIPM": in-process marshal data

struct t_marshal_record
{
    DWORD signature;
    DWORD marshal_flags;
    IID iid;
    std::uint64_t object;  // the interface pointer for `iid`
};

constexpr DWORD k_known_marshal_flags =
    MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK | MSHLFLAGS_NOPING;

bool holds_reference(DWORD marshal_flags) noexcept
{
    return (marshal_flags & MSHLFLAGS_TABLEWEAK) == 0;
}

IUnknown* object_of(const t_marshal_record& record) noexcept
{
    return reinterpret_cast<IUnknown*>(static_cast<std::uintptr_t>(record.object));
}

// Reads one whole record from the stream's seek pointer.
HRESULT read_record(IStream* stream, t_marshal_record& record) noexcept
{
    ULONG bytes_read = 0;
    const HRESULT result = stream->Read(&record, sizeof record, &bytes_read);
    if (FAILED(result))
        return result;
    if (bytes_read != sizeof record)
        return STG_E_READFAULT;
    if (record.signature != k_record_signature || record.object == 0 ||
        (record.marshal_flags & ~k_known_marshal_flags) != 0)
        return RPC_E_INVALID_OBJREF;
    return S_OK;
}

}  // namespace

HRESULT check_marshal_request(DWORD destination_context, DWORD marshal_flags) noexcept
{
    if ((marshal_flags & ~k_known_marshal_flags) != 0 ||
        (marshal_flags & (MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK)) ==
            (MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK))
        return E_INVALIDARG;
    switch (destination_context)
    {
    case MSHCTX_INPROC:
    case MSHCTX_CROSSCTX:
        return S_OK;
    case MSHCTX_LOCAL:
    case MSHCTX_NOSHAREDMEM:
    case MSHCTX_DIFFERENTMACHINE:
        return E_NOTIMPL;  // no remoting: the data would be useless outside the process
    default:
        return E_INVALIDARG;
    }
}

HRESULT write_marshal_record(IStream* stream, REFIID iid, IUnknown* object,
                             DWORD marshal_flags) noexcept
{
    t_com_ptr<IUnknown> interface_pointer;
    const HRESULT queried = object->QueryInterface(iid, interface_pointer.put_void());
    if (FAILED(queried))
        return queried;
    t_marshal_record record{};
    record.signature = k_record_signature;
    record.marshal_flags = marshal_flags;
    record.iid = iid;
    record.object = reinterpret_cast<std::uintptr_t>(interface_pointer.get());
    ULONG bytes_written = 0;
    const HRESULT written = stream->Write(&record, sizeof record, &bytes_written);
    if (FAILED(written))
        return written;
    if (bytes_written != sizeof record)
        return STG_E_MEDIUMFULL;
    if (holds_reference(marshal_flags))
        static_cast<void>(interface_pointer.detach());  // the record owns it now
    return S_OK;
}

HRESULT read_marshal_record(IStream* stream, REFIID iid, void** object) noexcept
{
    *object = nullptr;
    t_marshal_record record{};
    const HRESULT result = read_record(stream, record);
    if (FAILED(result))
        return result;
    // Data marshaled for one unmarshaling is used up by it, whatever the query gives.
    t_com_ptr<IUnknown> consumed;
    if ((record.marshal_flags & (MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK)) == 0)
        consumed.reset(object_of(record));
    const IID& wanted = iid == IID_NULL ? record.iid : iid;
    return object_of(record)->QueryInterface(wanted, object);
}

HRESULT release_marshal_record(IStream* stream) noexcept
{
    t_marshal_record record{};
    const HRESULT result = read_record(stream, record);
    if (FAILED(result))
        return result;
    if (holds_reference(record.marshal_flags))
        object_of(record)->Release();
    return S_OK;
}

}  // namespace voka::platform::ole32
