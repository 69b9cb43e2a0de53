// CoMarshalInterface, CoUnmarshalInterface and CoReleaseMarshalData for contexts within the
// process: the marshal data carries the interface pointer itself (see marshal_record.h).
#include "marshal_record.h"
#include "thread_state.h"

using voka::platform::ole32::check_marshal_request;
using voka::platform::ole32::is_thread_in_apartment;
using voka::platform::ole32::read_marshal_record;
using voka::platform::ole32::release_marshal_record;
using voka::platform::ole32::write_marshal_record;

HRESULT CoMarshalInterface(LPSTREAM stream, REFIID iid, LPUNKNOWN object, DWORD destination_context,
                           LPVOID /*destination_context_data*/, DWORD marshal_flags)
{
    if (stream == nullptr || object == nullptr)
        return E_INVALIDARG;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    const HRESULT checked = check_marshal_request(destination_context, marshal_flags);
    if (FAILED(checked))
        return checked;
    return write_marshal_record(stream, iid, object, marshal_flags);
}

HRESULT CoUnmarshalInterface(LPSTREAM stream, REFIID iid, LPVOID* object)
{
    if (object == nullptr)
        return E_INVALIDARG;
    *object = nullptr;
    if (stream == nullptr)
        return E_INVALIDARG;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    return read_marshal_record(stream, iid, object);
}

HRESULT CoReleaseMarshalData(LPSTREAM stream)
{
    if (stream == nullptr)
        return E_INVALIDARG;
    if (!is_thread_in_apartment())
        return CO_E_NOTINITIALIZED;
    return release_marshal_record(stream);
}
