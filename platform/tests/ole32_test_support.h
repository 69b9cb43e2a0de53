// Helpers for the OLE32 conformance tests: an owner for interface pointers, an owner for a
// thread's COM initialisation, a test object that reports its reference count and destruction,
// stream helpers and a stream of another kind, and a runner that executes a function on a
// thread of its own.
#pragma once

#include "voka/win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace ole32_test
{

// Owns one reference to an interface; releases it on every path. Move-only.
template <typename t_interface>
class t_com_ptr
{
public:
    t_com_ptr() noexcept = default;
    explicit t_com_ptr(t_interface* owned) noexcept : m_pointer(owned) {}
    t_com_ptr(t_com_ptr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    t_com_ptr& operator=(t_com_ptr&& other) noexcept
    {
        reset(std::exchange(other.m_pointer, nullptr));
        return *this;
    }
    ~t_com_ptr() { reset(); }

    t_interface* get() const noexcept { return m_pointer; }
    t_interface* operator->() const noexcept { return m_pointer; }
    t_interface* detach() noexcept { return std::exchange(m_pointer, nullptr); }
    void reset(t_interface* owned = nullptr) noexcept
    {
        if (t_interface* old = std::exchange(m_pointer, owned))
            old->Release();
    }
    // Releases what is held and returns the address an out-parameter fills.
    t_interface** put() noexcept
    {
        reset();
        return &m_pointer;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    t_interface* m_pointer = nullptr;
};

// Initialises COM on the calling thread for its lifetime; uninitialises only when the
// initialisation succeeded (S_OK or S_FALSE), as the COM rules require.
class t_com_initialization
{
public:
    explicit t_com_initialization(DWORD co_init) noexcept
        : m_result(CoInitializeEx(nullptr, co_init))
    {
    }
    ~t_com_initialization()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    t_com_initialization(const t_com_initialization&) = delete;
    t_com_initialization& operator=(const t_com_initialization&) = delete;

    HRESULT result() const noexcept { return m_result; }

private:
    HRESULT m_result;
};

// A test interface of the counted object below.
struct ITestValue : IUnknown
{
    STDMETHOD_(int, GetValue)() PURE;
};
inline constexpr IID IID_ITestValue{
    0x5C1F7A52, 0x0B43, 0x4D8E, {0x9A, 0x21, 0x6E, 0x3F, 0x0C, 0x88, 0x14, 0xD7}};

// What a t_counted_object reports about itself; outlives the object.
struct t_object_probe
{
    std::atomic<ULONG> references{0};
    std::atomic<int> destructions{0};
};

// A COM object answering IUnknown and ITestValue (one identity) whose count and destruction a
// test can watch through its probe. Made with a count of 1; the last Release destroys it.
class t_counted_object final : public ITestValue
{
public:
    static ITestValue* create(t_object_probe& probe, int value)
    {
        return new t_counted_object(probe, value);
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITestValue)
        {
            *object = static_cast<ITestValue*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_probe.references; }
    STDMETHODIMP_(ULONG) Release() noexcept override
    {
        const ULONG count = --m_probe.references;
        if (count == 0)
            delete this;
        return count;
    }
    STDMETHODIMP_(int) GetValue() noexcept override { return m_value; }

private:
    t_counted_object(t_object_probe& probe, int value) : m_probe(probe), m_value(value)
    {
        m_probe.references = 1;
    }
    ~t_counted_object() { ++m_probe.destructions; }

    t_object_probe& m_probe;
    const int m_value;
};

// A new stream on global memory, freed with its last release.
inline t_com_ptr<IStream> create_stream(HGLOBAL memory = nullptr, BOOL delete_on_release = TRUE)
{
    t_com_ptr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(memory, delete_on_release, stream.put()), S_OK);
    EXPECT_NE(stream.get(), nullptr);
    return stream;
}

inline void rewind(IStream* stream)
{
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
}

inline ULONGLONG position_of(IStream* stream)
{
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position), S_OK);
    return position.QuadPart;
}

// A stream of the test's own kind, living on the test's stack (not counted): it reads nothing
// and takes only half of every write, saying so. Everything else is E_NOTIMPL.
class t_half_stream final : public IStream
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_ISequentialStream && iid != IID_IStream)
            return E_NOINTERFACE;
        *object = static_cast<IStream*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return 1; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return 1; }
    STDMETHODIMP Read(void*, ULONG, ULONG* read) noexcept override
    {
        if (read != nullptr)
            *read = 0;
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG bytes, ULONG* written) noexcept override
    {
        if (written != nullptr)
            *written = bytes / 2;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                        ULARGE_INTEGER*) noexcept override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Revert() noexcept override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Stat(STATSTG*, DWORD) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) noexcept override { return E_NOTIMPL; }
};

// Runs `body` on a new thread and waits for it to end.
inline void run_on_other_thread(const std::function<void()>& body)
{
    std::thread thread(body);
    thread.join();
}

}  // namespace ole32_test
