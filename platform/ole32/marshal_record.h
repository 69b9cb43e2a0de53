// The marshal data of an interface within this process: a record that carries the interface
// pointer itself, written and read by CoMarshalInterface and its companions and by the
// free-threaded marshaler.
#pragma once

#include "voka/win32.h"

namespace voka::platform::ole32
{

// Checks a destination context and marshal flags: S_OK for a context in this process and
// known flags; E_NOTIMPL for a context outside the process; E_INVALIDARG otherwise.
HRESULT check_marshal_request(DWORD destination_context, DWORD marshal_flags) noexcept;

// Asks `object` for `iid` and writes the record for that interface at the stream's seek
// pointer. The record holds the reference (none for MSHLFLAGS_TABLEWEAK); on failure no
// reference is held. Fails with E_NOINTERFACE, the stream's failure, or STG_E_MEDIUMFULL when
// the stream took fewer bytes than the record.
HRESULT write_marshal_record(IStream* stream, REFIID iid, IUnknown* object,
                             DWORD marshal_flags) noexcept;

// Reads a record and stores its object's `iid` interface (the marshaled interface for IID_NULL)
// in `*object`, counted; releases the record's reference when it was marshaled with
// MSHLFLAGS_NORMAL. `*object` is NULL on failure: STG_E_READFAULT for a short record,
// RPC_E_INVALID_OBJREF for one that is not ours, the stream's failure, or E_NOINTERFACE.
HRESULT read_marshal_record(IStream* stream, REFIID iid, void** object) noexcept;

// Reads a record and releases the reference it holds (none for MSHLFLAGS_TABLEWEAK).
HRESULT release_marshal_record(IStream* stream) noexcept;

}  // namespace voka::platform::ole32
