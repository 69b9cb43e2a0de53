// A small in-process COM server for the OLE32 tests: DllGetClassObject gives a class factory for
// one class, whose objects answer ITestServerValue. The factory refuses aggregation. When
// VOKA_TEST_SERVER_ATTACH_ASKS is set, its entry point asks COM for a class object of the
// unserved class while the server is being loaded.
#include "test_server.h"

#include <atomic>
#include <cstdlib>

namespace
{

using ole32_test_server::ITestServerValue;

std::atomic<long> g_live_objects{0};
std::atomic<long> g_class_object_requests{0};
std::atomic<HRESULT> g_attach_request_result{S_OK};

// Counts references; the last Release deletes.
template <typename t_interface>
class t_counted : public t_interface
{
public:
    t_counted() noexcept { ++g_live_objects; }
    virtual ~t_counted() { --g_live_objects; }
    t_counted(const t_counted&) = delete;
    t_counted& operator=(const t_counted&) = delete;

    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() noexcept override
    {
        const ULONG count = --m_references;
        if (count == 0)
            delete this;
        return count;
    }

protected:
    // Answers IUnknown and `own`; counts what it stores.
    HRESULT query(REFIID iid, REFIID own, void** object) noexcept
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != own)
            return E_NOINTERFACE;
        *object = static_cast<t_interface*>(this);
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> m_references{1};
};

class t_value final : public t_counted<ITestServerValue>
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        return query(iid, ole32_test_server::IID_ITestServerValue, object);
    }
    STDMETHODIMP_(int) GetValue() noexcept override { return ole32_test_server::k_answer; }
};

class t_factory final : public t_counted<IClassFactory>
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        return query(iid, IID_IClassFactory, object);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto* value = new (std::nothrow) t_value;
        if (value == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT result = value->QueryInterface(iid, object);
        value->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL) noexcept override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT
DllGetClassObject(REFCLSID class_id, REFIID iid, LPVOID* object)
{
    ++g_class_object_requests;
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (class_id != ole32_test_server::k_served_class)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) t_factory;
    if (factory == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

extern "C" __attribute__((visibility("default"))) long TestServerLiveObjects()
{
    return g_live_objects.load();
}

extern "C" __attribute__((visibility("default"))) long TestServerClassObjectRequests()
{
    return g_class_object_requests.load();
}

extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE, DWORD reason,
                                                                     LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && std::getenv("VOKA_TEST_SERVER_ATTACH_ASKS") != nullptr)
    {
        void* object = nullptr;
        g_attach_request_result = CoGetClassObject(ole32_test_server::k_unserved_class,
                                                   CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                                   &object);
    }
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) HRESULT TestServerAttachRequestResult()
{
    return g_attach_request_result.load();
}
