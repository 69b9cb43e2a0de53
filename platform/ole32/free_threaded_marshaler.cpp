// CoCreateFreeThreadedMarshaler: an aggregatable object whose IMarshal hands an interface to
// any context of the process as the object's own pointer.
#include "com_object.h"
#include "marshal_record.h"

using voka::platform::ole32::check_marshal_request;
using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::read_marshal_record;
using voka::platform::ole32::release_marshal_record;
using voka::platform::ole32::t_com_object_base;
using voka::platform::ole32::write_marshal_record;

namespace
{

// The marshaler. Its IMarshal passes IUnknown calls to the controlling unknown (the outer
// object, or its own inner unknown when not aggregated); the inner unknown, a member object,
// answers for the marshaler's own identity and count. Threading: free-threaded, no state.
class t_free_threaded_marshaler final : public IMarshal, private t_com_object_base
{
public:
    explicit t_free_threaded_marshaler(IUnknown* outer) noexcept
        : m_inner(*this), m_controlling_unknown(outer != nullptr ? outer : &m_inner)
    {
    }

    IUnknown* inner_unknown() noexcept { return &m_inner; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        return m_controlling_unknown->QueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_controlling_unknown->AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return m_controlling_unknown->Release(); }

    STDMETHODIMP GetUnmarshalClass(REFIID, void*, DWORD destination_context, void*,
                                   DWORD marshal_flags, CLSID* class_id) noexcept override
    {
        if (class_id == nullptr)
            return E_INVALIDARG;
        *class_id = CLSID_NULL;
        const HRESULT checked = check_marshal_request(destination_context, marshal_flags);
        if (FAILED(checked))
            return checked;
        *class_id = CLSID_InProcFreeMarshaler;
        return S_OK;
    }

    STDMETHODIMP GetMarshalSizeMax(REFIID, void*, DWORD destination_context, void*,
                                   DWORD marshal_flags, DWORD* size) noexcept override
    {
        if (size == nullptr)
            return E_INVALIDARG;
        *size = 0;
        const HRESULT checked = check_marshal_request(destination_context, marshal_flags);
        if (FAILED(checked))
            return checked;
        *size = k_record_size;
        return S_OK;
    }

    STDMETHODIMP MarshalInterface(IStream* stream, REFIID iid, void* object,
                                  DWORD destination_context, void*,
                                  DWORD marshal_flags) noexcept override
    {
        if (stream == nullptr || object == nullptr)
            return E_INVALIDARG;
        const HRESULT checked = check_marshal_request(destination_context, marshal_flags);
        if (FAILED(checked))
            return checked;
        return write_marshal_record(stream, iid, static_cast<IUnknown*>(object), marshal_flags);
    }

    STDMETHODIMP UnmarshalInterface(IStream* stream, REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_INVALIDARG;
        *object = nullptr;
        if (stream == nullptr)
            return E_INVALIDARG;
        return read_marshal_record(stream, iid, object);
    }

    STDMETHODIMP ReleaseMarshalData(IStream* stream) noexcept override
    {
        if (stream == nullptr)
            return E_INVALIDARG;
        return release_marshal_record(stream);
    }

    // There are no proxies to disconnect.
    STDMETHODIMP DisconnectObject(DWORD) noexcept override { return S_OK; }

private:
    // The record: signature, flags, interface id and a 64-bit pointer.
    static constexpr DWORD k_record_size = 2 * sizeof(DWORD) + sizeof(IID) + 8;

    // The marshaler's own IUnknown: never passes calls on.
    class tag_inner_unknown final : public IUnknown
    {
    public:
        explicit tag_inner_unknown(t_free_threaded_marshaler& owner) noexcept : m_owner(owner) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
        {
            if (object == nullptr)
                return E_POINTER;
            if (iid == IID_IUnknown)
            {
                *object = this;
                AddRef();
                return S_OK;
            }
            if (iid == IID_IMarshal)
            {
                *object = static_cast<IMarshal*>(&m_owner);
                m_owner.AddRef();  // counts through the controlling unknown, as COM requires
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_owner.helper__add_ref(); }
        STDMETHODIMP_(ULONG) Release() noexcept override { return m_owner.helper__release(); }

    private:
        t_free_threaded_marshaler& m_owner;
    };

    tag_inner_unknown m_inner;
    IUnknown* const m_controlling_unknown;
};

}  // namespace

HRESULT CoCreateFreeThreadedMarshaler(LPUNKNOWN outer, LPUNKNOWN* marshaler)
try
{
    if (marshaler == nullptr)
        return E_INVALIDARG;
    *marshaler = nullptr;
    // The count starts at 1: the caller's reference to the inner unknown.
    *marshaler = (new t_free_threaded_marshaler(outer))->inner_unknown();
    return S_OK;
}
catch (...)
{
    return hresult_from_current_exception();
}
