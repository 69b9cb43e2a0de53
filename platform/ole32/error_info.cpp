// Error objects: CreateErrorInfo makes one, SetErrorInfo and GetErrorInfo move it in and out of
// the calling thread's slot.
#include "com_object.h"
#include "thread_state.h"

#include <mutex>
#include <optional>
#include <string>

using voka::platform::ole32::exchange_thread_error_info;
using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::t_com_object_base;
using voka::platform::ole32::t_com_ptr;

namespace
{

// One error object, answering IErrorInfo (its identity) and ICreateErrorInfo. Threading: any
// thread may call any method; the fields are guarded by m_lock.
class t_error_info final : public IErrorInfo, public ICreateErrorInfo, private t_com_object_base
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IErrorInfo)
            *object = static_cast<IErrorInfo*>(this);
        else if (iid == IID_ICreateErrorInfo)
            *object = static_cast<ICreateErrorInfo*>(this);
        else
        {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        helper__add_ref();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return helper__add_ref(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return helper__release(); }

    // IErrorInfo
    STDMETHODIMP GetGUID(GUID* guid) noexcept override
    {
        if (guid == nullptr)
            return E_INVALIDARG;
        std::lock_guard lock(m_lock);
        *guid = m_guid;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* source) noexcept override { return helper__get(m_source, source); }
    STDMETHODIMP GetDescription(BSTR* description) noexcept override
    {
        return helper__get(m_description, description);
    }
    STDMETHODIMP GetHelpFile(BSTR* help_file) noexcept override
    {
        return helper__get(m_help_file, help_file);
    }
    STDMETHODIMP GetHelpContext(DWORD* help_context) noexcept override
    {
        if (help_context == nullptr)
            return E_INVALIDARG;
        std::lock_guard lock(m_lock);
        *help_context = m_help_context;
        return S_OK;
    }

    // ICreateErrorInfo
    STDMETHODIMP SetGUID(REFGUID guid) noexcept override
    {
        std::lock_guard lock(m_lock);
        m_guid = guid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR source) noexcept override
    {
        return helper__set(m_source, source);
    }
    STDMETHODIMP SetDescription(LPOLESTR description) noexcept override
    {
        return helper__set(m_description, description);
    }
    STDMETHODIMP SetHelpFile(LPOLESTR help_file) noexcept override
    {
        return helper__set(m_help_file, help_file);
    }
    STDMETHODIMP SetHelpContext(DWORD help_context) noexcept override
    {
        std::lock_guard lock(m_lock);
        m_help_context = help_context;
        return S_OK;
    }

private:
    using t_text = std::optional<std::wstring>;  // nullopt: never set (the getter gives NULL)

    HRESULT helper__get(const t_text& field, BSTR* text) noexcept
    {
        if (text == nullptr)
            return E_INVALIDARG;
        *text = nullptr;
        std::lock_guard lock(m_lock);
        if (!field)
            return S_OK;
        *text = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
        return *text != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT helper__set(t_text& field, LPOLESTR text) noexcept
    try
    {
        t_text value;
        if (text != nullptr)
            value.emplace(text);
        std::lock_guard lock(m_lock);
        field.swap(value);
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    std::mutex m_lock;
    GUID m_guid = GUID_NULL;  // guarded by m_lock, as are the fields below
    t_text m_source;
    t_text m_description;
    t_text m_help_file;
    DWORD m_help_context = 0;
};

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** error_info)
try
{
    if (error_info == nullptr)
        return E_INVALIDARG;
    *error_info = nullptr;
    *error_info = new t_error_info();  // the count starts at 1: the caller's reference
    return S_OK;
}
catch (...)
{
    return hresult_from_current_exception();
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* error_info)
{
    if (reserved != 0)
        return E_INVALIDARG;
    // The old object is released after the new one is in place: its Release may run the
    // client's code, which then finds the thread's slot consistent.
    const t_com_ptr<IErrorInfo> replaced(
        exchange_thread_error_info(t_com_ptr<IErrorInfo>::copy_of(error_info).detach()));
    return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** error_info)
{
    if (reserved != 0 || error_info == nullptr)
        return E_INVALIDARG;
    *error_info = exchange_thread_error_info(nullptr);
    return *error_info != nullptr ? S_OK : S_FALSE;
}
