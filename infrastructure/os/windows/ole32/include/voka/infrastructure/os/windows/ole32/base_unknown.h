// The base of the gate's COM objects: TBaseUnknown3A counts references and answers the object's
// own identity, TComObject3A gives a service class's interface its IUnknown, and QueryNewObject
// and CreateObject hand a new object to its first client by the creation-and-query rule.
//
// How the pieces fit: a service class derives from TComObject3A<its interface, allocator>, which
// puts the interface part first in the object and the TBaseUnknown3A part after it. The
// interface's QueryInterface, AddRef and Release pass, with the same arguments, to the
// controlling unknown: the outer object when the object is aggregated, else the object's own
// non-delegating unknown, which runs NondelegatingQueryInterface, NondelegatingAddRef and
// NondelegatingRelease. The service class overrides NondelegatingQueryInterface to answer its
// interface id (then calls the base's) and, if it needs to, the destructor, InitInstance and
// FinalRelease.
//
// The non-delegating unknown is handed to clients as an IUnknown: a small member object whose
// IUnknown methods call the Nondelegating* operations, so that it is a real IUnknown rather than
// the INondelegatingUnknown part reinterpreted as one (the same vtable slots, but a call through
// the wrong type that sanitizers reject).
//
// Example:
//     class TValue final : public TComObject3A<IValue, t_raw_allocator<MemoryAllocator_Adapter>>
//     {
//     public:
//         HRESULT STDMETHODCALLTYPE NondelegatingQueryInterface(REFIID iid, void** object)
//             noexcept override
//         {
//             if (object != nullptr && iid == IID_IValue)
//             {
//                 *object = static_cast<IValue*>(this);
//                 static_cast<IValue*>(this)->AddRef();
//                 return S_OK;
//             }
//             return TComObject3A::NondelegatingQueryInterface(iid, object);
//         }
//         // ... IValue's methods ...
//     };
//     IValue* value = nullptr;
//     HRESULT result = CreateObject<TValue>(IID_IValue, reinterpret_cast<void**>(&value));
#pragma once

#include "voka/infrastructure/os/windows/ole32/hresult_from_exception.h"
#include "voka/infrastructure/os/windows/ole32/nondelegating_unknown.h"
#include "voka/win32.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace voka::lib::com::base
{

// Reference counting, identity and destruction of one COM object. `Allocator` supplies the
// object's memory: static void* allocate(std::size_t) (throws on failure) and static void
// deallocate(void*) noexcept; the gate uses t_raw_allocator<MemoryAllocator_Adapter>.
//
// Counting: a new object has count 0; the creation-and-query rule (QueryNewObject) raises it to
// 1 for its first client. NondelegatingAddRef always returns 1 and NondelegatingRelease returns 0
// when it destroyed the object, else 1: the counts are the object's business. The release that
// brings the count to 0 pins it at 1 for the whole destruction, so counting the object up and
// down again in FinalRelease or the destructor cannot start a second destruction; FinalRelease
// runs once, then the deleting destructor. The count is a 64-bit atomic: any thread may count the
// object, and the last release destroys it on the thread that makes it.
//
// Virtual operations, in slot order: NondelegatingQueryInterface, NondelegatingAddRef,
// NondelegatingRelease, the (deleting) destructor, InitInstance, GetObjectClassId, FinalRelease.
template <typename Allocator>
class TBaseUnknown3A : public INondelegatingUnknown
{
public:
    TBaseUnknown3A(const TBaseUnknown3A&) = delete;
    TBaseUnknown3A& operator=(const TBaseUnknown3A&) = delete;

    // A null out-pointer gives E_POINTER; otherwise it is set to null first. IID_IUnknown gives
    // the non-delegating unknown, counted; any other id E_NOINTERFACE. Service classes answer
    // their own ids first and then call this.
    HRESULT STDMETHODCALLTYPE NondelegatingQueryInterface(REFIID iid,
                                                          void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown)
        {
            *object = static_cast<IUnknown*>(&m_inner_unknown);
            NondelegatingAddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    // The increment may be relaxed: a new reference is always made from a live one.
    ULONG STDMETHODCALLTYPE NondelegatingAddRef() noexcept override
    {
        m_reference_count.fetch_add(1, std::memory_order_relaxed);
        return 1;
    }

    // The decrement is acquire-release, so that everything done through any reference happens
    // before FinalRelease and the destructor.
    ULONG STDMETHODCALLTYPE NondelegatingRelease() noexcept override
    {
        if (m_reference_count.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return 1;
        m_reference_count.store(1, std::memory_order_relaxed);  // pinned for the destruction
        try
        {
            FinalRelease();
        }
        catch (...)  // a failing final step must not keep the object alive
        {
        }
        delete this;
        return 0;
    }

    // Pure, so that only a service class can be the type of an object (and the compiler never
    // takes this class's own destructor for the object's); defined below.
    virtual ~TBaseUnknown3A() = 0;

    // Called once by the creation-and-query rule before the first query; a failure ends the
    // creation with that result.
    virtual HRESULT InitInstance() { return S_OK; }

    // The class id of the object: the all-zero GUID unless a service class says otherwise.
    virtual const GUID* GetObjectClassId() { return &GUID_NULL; }

    // Called by the last release just before the destructor; its exceptions are ignored.
    virtual void FinalRelease() {}

    // The unknown to which the object's interfaces pass QueryInterface, AddRef and Release.
    IUnknown* ControllingUnknown() const noexcept { return m_controlling_unknown; }

    // Whether the object is aggregated, i.e. its controlling unknown is not its own
    // non-delegating unknown.
    bool HasOuterUnknown() const noexcept { return m_controlling_unknown != &m_inner_unknown; }

    // Every object lives in memory of its allocator, and only on the heap.
    static void* operator new(std::size_t size) { return Allocator::allocate(size); }
    static void operator delete(void* block) noexcept { Allocator::deallocate(block); }

protected:
    // `outer_unknown` is the aggregating object's IUnknown, or null for an object on its own.
    explicit TBaseUnknown3A(IUnknown* outer_unknown = nullptr) noexcept
        : m_inner_unknown(*this),
          m_controlling_unknown(outer_unknown != nullptr ? outer_unknown : &m_inner_unknown)
    {
    }

private:
    // The non-delegating unknown as clients see it: an IUnknown that never passes calls on.
    class tag_inner_unknown final : public IUnknown
    {
    public:
        explicit tag_inner_unknown(TBaseUnknown3A& owner) noexcept : m_owner(owner) {}

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override
        {
            return m_owner.NondelegatingQueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() noexcept override { return m_owner.NondelegatingAddRef(); }
        ULONG STDMETHODCALLTYPE Release() noexcept override
        {
            return m_owner.NondelegatingRelease();
        }

    private:
        TBaseUnknown3A& m_owner;
    };

    tag_inner_unknown m_inner_unknown;
    IUnknown* const m_controlling_unknown;  // the outer object, or &m_inner_unknown
    std::atomic<std::uint64_t> m_reference_count{0};
};

template <typename Allocator>
TBaseUnknown3A<Allocator>::~TBaseUnknown3A() = default;

// A service class's base: its interface part first, then the object base. Implements the
// interface's IUnknown methods by passing them, with the same arguments, to the controlling
// unknown. `TInterface` derives from IUnknown.
template <typename TInterface, typename Allocator>
class TComObject3A : public TInterface, public TBaseUnknown3A<Allocator>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override
    {
        return this->ControllingUnknown()->QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override
    {
        return this->ControllingUnknown()->AddRef();
    }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        return this->ControllingUnknown()->Release();
    }

protected:
    explicit TComObject3A(IUnknown* outer_unknown = nullptr) noexcept
        : TBaseUnknown3A<Allocator>(outer_unknown)
    {
    }
};

// The creation-and-query rule, used for every new object (`object` as the allocation gave it):
//  1. a non-null `out` is set to null;
//  2. a null `object` (the allocation failed) gives E_OUTOFMEMORY;
//  3. the object is counted once;
//  4. a null `out` gives E_POINTER;
//  5. an aggregated object asked for anything but IID_IUnknown gives CLASS_E_NOAGGREGATION;
//  6. otherwise InitInstance runs and, when it succeeds, NondelegatingQueryInterface(iid, out);
//  7. the count of step 3 is dropped and the result returned: an object that no query counted
//     is destroyed here.
// Exceptions from InitInstance are translated by HResultFromCurrentException.
template <typename Allocator>
HRESULT QueryNewObject(TBaseUnknown3A<Allocator>* object, REFIID iid, void** out) noexcept
{
    if (out != nullptr)
        *out = nullptr;
    if (object == nullptr)
        return E_OUTOFMEMORY;
    object->NondelegatingAddRef();
    HRESULT result = S_OK;
    if (out == nullptr)
        result = E_POINTER;
    else if (object->HasOuterUnknown() && iid != IID_IUnknown)
        result = CLASS_E_NOAGGREGATION;
    else
    {
        try
        {
            result = object->InitInstance();
            if (SUCCEEDED(result))
                result = object->NondelegatingQueryInterface(iid, out);
        }
        catch (...)
        {
            result = HResultFromCurrentException();
        }
    }
    object->NondelegatingRelease();
    return result;
}

// Makes a TObject from `arguments` with its allocator and hands it out by QueryNewObject. A
// failing allocation or constructor gives the translation of its exception (E_OUTOFMEMORY for
// std::bad_alloc), with `*out` null.
template <typename TObject, typename... TArguments>
HRESULT CreateObject(REFIID iid, void** out, TArguments&&... arguments) noexcept
{
    if (out != nullptr)
        *out = nullptr;
    TObject* object = nullptr;
    try
    {
        object = new TObject(std::forward<TArguments>(arguments)...);
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
    return QueryNewObject(object, iid, out);
}

}  // namespace voka::lib::com::base
