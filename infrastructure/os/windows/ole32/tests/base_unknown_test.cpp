// The COM object base: counting, the query rules, the creation-and-query rule, aggregation,
// FinalRelease and destruction, with a test-only COM class built on it.
#include "voka/infrastructure/core/raw_allocator.h"
#include "voka/infrastructure/os/windows/ole32/base_unknown.h"
#include "voka/infrastructure/os/windows/ole32/memory_allocator_adapter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{

using voka::infrastructure::os::impl::Ole32::MemoryAllocator_Adapter;
using voka::lib::com::base::CreateObject;
using voka::lib::com::base::HResultFromCurrentException;
using voka::lib::com::base::QueryNewObject;
using voka::lib::com::base::TBaseUnknown3A;
using voka::lib::com::base::TComObject3A;
using voka::lib::structure::t_raw_allocator;

using t_gate_allocator = t_raw_allocator<MemoryAllocator_Adapter>;

// The test class's interface.
struct ITestObject : IUnknown
{
    STDMETHOD_(int, GetValue)() PURE;
    // Fails by throwing an exception of the given kind, translated at the boundary.
    STDMETHOD(FailWith)(int kind) PURE;
};
constexpr IID IID_ITestObject{
    0x4F0A7C21, 0x9B3E, 0x4D55, {0x8C, 0x02, 0x71, 0xEA, 0x5B, 0x16, 0x3D, 0x90}};

// What a test object does in its steps and what it reports; outlives the object.
struct t_probe
{
    // behaviour
    HRESULT init_result = S_OK;
    bool init_throws = false;
    bool constructor_throws = false;
    bool final_release_throws = false;
    bool final_release_counts = false;  // counts itself up and down in FinalRelease
    bool destructor_counts = false;     // counts itself up and down in its destructor
    // reports
    std::atomic<int> constructions{0};
    std::atomic<int> init_instances{0};
    std::atomic<int> final_releases{0};
    std::atomic<int> destructions{0};
};

// The allocator adapter of tests that check where objects live.
struct t_counting_adapter
{
    static inline std::atomic<int> allocations{0};
    static inline std::atomic<int> deallocations{0};
    static void* allocate(std::size_t size)
    {
        ++allocations;
        return ::operator new(size);
    }
    static void deallocate(void* block) noexcept
    {
        ++deallocations;
        ::operator delete(block);
    }
};

// An allocator adapter that is always out of memory.
struct t_exhausted_adapter
{
    static void* allocate(std::size_t) { throw std::bad_alloc(); }
    static void deallocate(void*) noexcept {}
};

template <typename Allocator>
class TTestObject final : public TComObject3A<ITestObject, Allocator>
{
public:
    explicit TTestObject(t_probe& probe, IUnknown* outer_unknown = nullptr)
        : TComObject3A<ITestObject, Allocator>(outer_unknown), m_probe(probe)
    {
        if (m_probe.constructor_throws)
            throw std::runtime_error("constructor failed");
        ++m_probe.constructions;
    }

    ~TTestObject() override
    {
        if (m_probe.destructor_counts)
        {
            this->NondelegatingAddRef();
            this->NondelegatingRelease();
            this->ControllingUnknown()->AddRef();  // what the interface's AddRef does
            this->ControllingUnknown()->Release();
        }
        ++m_probe.destructions;
    }

    HRESULT STDMETHODCALLTYPE NondelegatingQueryInterface(REFIID iid,
                                                          void** object) noexcept override
    {
        if (object != nullptr && iid == IID_ITestObject)
        {
            *object = static_cast<ITestObject*>(this);
            static_cast<ITestObject*>(this)->AddRef();  // reaches the controlling unknown
            return S_OK;
        }
        return TComObject3A<ITestObject, Allocator>::NondelegatingQueryInterface(iid, object);
    }

    HRESULT InitInstance() override
    {
        ++m_probe.init_instances;
        if (m_probe.init_throws)
            throw std::bad_alloc();
        return m_probe.init_result;
    }

    void FinalRelease() override
    {
        ++m_probe.final_releases;
        if (m_probe.final_release_counts)
        {
            static_cast<ITestObject*>(this)->AddRef();
            static_cast<ITestObject*>(this)->AddRef();
            static_cast<ITestObject*>(this)->Release();
            static_cast<ITestObject*>(this)->Release();
        }
        if (m_probe.final_release_throws)
            throw std::runtime_error("final release failed");
    }

    STDMETHODIMP_(int) GetValue() noexcept override { return 42; }

    STDMETHODIMP FailWith(int kind) noexcept override
    try
    {
        switch (kind)
        {
        case 0:
            throw std::bad_alloc();
        case 1:
            throw std::invalid_argument("bad argument");
        default:
            throw kind;
        }
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }

private:
    t_probe& m_probe;
};

using TGateTestObject = TTestObject<t_gate_allocator>;

// Releases through an interface until the object is gone; the number of releases it took.
int releases_until_destroyed(IUnknown* unknown, const t_probe& probe)
{
    int releases = 0;
    while (probe.destructions == 0 && releases < 100)
    {
        unknown->Release();
        ++releases;
    }
    return releases;
}

ITestObject* create_test_object(t_probe& probe)
{
    void* object = nullptr;
    EXPECT_EQ(CreateObject<TGateTestObject>(IID_ITestObject, &object, probe), S_OK);
    EXPECT_NE(object, nullptr);
    return static_cast<ITestObject*>(object);
}

// An object that aggregates a test object and shows its ITestObject as its own.
class t_outer_object final : public IUnknown
{
public:
    explicit t_outer_object(t_probe& inner_probe) : m_inner_probe(inner_probe) {}
    ~t_outer_object()
    {
        if (m_inner != nullptr)
            m_inner->Release();
    }
    t_outer_object(const t_outer_object&) = delete;
    t_outer_object& operator=(const t_outer_object&) = delete;

    HRESULT create_inner(REFIID iid)
    {
        return CreateObject<TGateTestObject>(iid, reinterpret_cast<void**>(&m_inner), m_inner_probe,
                                             this);
    }
    IUnknown* inner() const noexcept { return m_inner; }
    ULONG count() const noexcept { return m_count; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown)
        {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == IID_ITestObject && m_inner != nullptr)
            return m_inner->QueryInterface(iid, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack: counted, never deleted.
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_count; }
    STDMETHODIMP_(ULONG) Release() noexcept override { return --m_count; }

private:
    t_probe& m_inner_probe;
    IUnknown* m_inner = nullptr;  // the inner object's non-delegating unknown
    std::atomic<ULONG> m_count{1};
};

TEST(BaseUnknownTest, NondelegatingAddRefReturnsOneWhateverTheCount)
{
    t_probe probe;
    auto* const object = new TGateTestObject(probe);  // fresh: count 0
    EXPECT_EQ(object->NondelegatingAddRef(), 1u);
    EXPECT_EQ(object->NondelegatingAddRef(), 1u);
    EXPECT_EQ(object->NondelegatingAddRef(), 1u);
    EXPECT_EQ(object->NondelegatingRelease(), 1u);
    EXPECT_EQ(object->NondelegatingRelease(), 1u);
    EXPECT_EQ(probe.destructions, 0);
    EXPECT_EQ(object->NondelegatingRelease(), 0u);  // the last one destroys
    EXPECT_EQ(probe.final_releases, 1);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, CreationHandsExactlyOneReferenceToTheCaller)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    EXPECT_EQ(probe.constructions, 1);
    EXPECT_EQ(probe.init_instances, 1);
    EXPECT_EQ(object->GetValue(), 42);
    EXPECT_EQ(object->AddRef(), 1u);  // what the interface's AddRef reports
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(probe.final_releases, 1);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, FailedQueryDestroysTheNewObject)
{
    t_probe probe;
    void* object = &object;
    EXPECT_EQ(CreateObject<TGateTestObject>(IID_IStream, &object, probe), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(probe.constructions, 1);
    EXPECT_EQ(probe.final_releases, 1);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, NullOutPointerIsEPointerAndDestroysTheNewObject)
{
    t_probe probe;
    EXPECT_EQ(CreateObject<TGateTestObject>(IID_ITestObject, nullptr, probe), E_POINTER);
    EXPECT_EQ(probe.init_instances, 0);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, NullObjectIsOutOfMemory)
{
    void* object = &object;
    EXPECT_EQ(QueryNewObject<t_gate_allocator>(nullptr, IID_IUnknown, &object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
}

TEST(BaseUnknownTest, FailedAllocationIsOutOfMemory)
{
    t_probe probe;
    void* object = &object;
    EXPECT_EQ(CreateObject<TTestObject<t_raw_allocator<t_exhausted_adapter>>>(IID_ITestObject,
                                                                              &object, probe),
              E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(probe.constructions, 0);
}

TEST(BaseUnknownTest, ThrowingConstructorIsTranslatedAndFreesTheMemory)
{
    const int allocations = t_counting_adapter::allocations;
    const int deallocations = t_counting_adapter::deallocations;
    t_probe probe;
    probe.constructor_throws = true;
    void* object = &object;
    EXPECT_EQ(CreateObject<TTestObject<t_raw_allocator<t_counting_adapter>>>(IID_ITestObject,
                                                                             &object, probe),
              E_FAIL);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(t_counting_adapter::allocations - allocations, 1);
    EXPECT_EQ(t_counting_adapter::deallocations - deallocations, 1);
}

TEST(BaseUnknownTest, ObjectsLiveInTheMemoryOfTheirAllocator)
{
    const int allocations = t_counting_adapter::allocations;
    const int deallocations = t_counting_adapter::deallocations;
    t_probe probe;
    void* object = nullptr;
    ASSERT_EQ(CreateObject<TTestObject<t_raw_allocator<t_counting_adapter>>>(IID_ITestObject,
                                                                             &object, probe),
              S_OK);
    EXPECT_EQ(t_counting_adapter::allocations - allocations, 1);
    EXPECT_EQ(t_counting_adapter::deallocations - deallocations, 0);
    static_cast<ITestObject*>(object)->Release();
    EXPECT_EQ(t_counting_adapter::deallocations - deallocations, 1);
}

TEST(BaseUnknownTest, FailingInitInstanceEndsTheCreationWithItsResult)
{
    struct t_case
    {
        const char* name;
        HRESULT init_result;
        bool init_throws;
        HRESULT expected;
    };
    const t_case cases[] = {
        {"returns E_ACCESSDENIED", E_ACCESSDENIED, false, E_ACCESSDENIED},
        {"returns E_FAIL", E_FAIL, false, E_FAIL},
        {"throws std::bad_alloc", S_OK, true, E_OUTOFMEMORY},
    };
    for (const auto& failure : cases)
    {
        SCOPED_TRACE(failure.name);
        t_probe probe;
        probe.init_result = failure.init_result;
        probe.init_throws = failure.init_throws;
        void* object = &object;
        EXPECT_EQ(CreateObject<TGateTestObject>(IID_ITestObject, &object, probe), failure.expected);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(probe.init_instances, 1);
        EXPECT_EQ(probe.destructions, 1);
    }
}

TEST(BaseUnknownTest, SuccessOtherThanSOkFromInitInstanceStillQueries)
{
    t_probe probe;
    probe.init_result = S_FALSE;
    void* object = nullptr;
    EXPECT_EQ(CreateObject<TGateTestObject>(IID_ITestObject, &object, probe), S_OK);
    ASSERT_NE(object, nullptr);
    static_cast<ITestObject*>(object)->Release();
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, NullOutPointerOfAQueryIsEPointer)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    EXPECT_EQ(object->QueryInterface(IID_ITestObject, nullptr), E_POINTER);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    auto* const base = static_cast<TGateTestObject*>(object);
    EXPECT_EQ(base->NondelegatingQueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(releases_until_destroyed(object, probe), 1);
}

TEST(BaseUnknownTest, FailedQueryStoresNullAndLeavesTheCount)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    for (const IID* iid : {&IID_IStream, &IID_IMarshal, &IID_NULL})
    {
        void* other = &other;
        EXPECT_EQ(object->QueryInterface(*iid, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
    }
    EXPECT_EQ(releases_until_destroyed(object, probe), 1);
}

TEST(BaseUnknownTest, QueryForIUnknownGivesOneIdentityAndCountsIt)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    IUnknown* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    ASSERT_NE(identity, nullptr);
    EXPECT_NE(static_cast<void*>(identity), static_cast<void*>(object));  // the inner unknown

    IUnknown* identity_again = nullptr;
    ASSERT_EQ(identity->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity_again)),
              S_OK);
    EXPECT_EQ(identity_again, identity);
    ITestObject* interface_again = nullptr;
    ASSERT_EQ(identity->QueryInterface(IID_ITestObject, reinterpret_cast<void**>(&interface_again)),
              S_OK);
    EXPECT_EQ(interface_again, object);
    // Four references now: the creation's and one for each successful query.
    EXPECT_EQ(releases_until_destroyed(identity, probe), 4);
    EXPECT_EQ(probe.final_releases, 1);
}

TEST(BaseUnknownTest, BaseAnswersOnlyIUnknownOnItsOwn)
{
    t_probe probe;
    auto* const object = new TGateTestObject(probe);
    object->NondelegatingAddRef();
    void* result = &result;
    auto* const base = static_cast<TBaseUnknown3A<t_gate_allocator>*>(object);
    EXPECT_EQ(base->TBaseUnknown3A<t_gate_allocator>::NondelegatingQueryInterface(IID_ITestObject,
                                                                                  &result),
              E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(*base->GetObjectClassId(), GUID_NULL);
    EXPECT_FALSE(base->HasOuterUnknown());
    EXPECT_EQ(object->NondelegatingRelease(), 0u);
}

TEST(BaseUnknownTest, FinalReleaseRunsOnceEvenWhenTheObjectCountsItselfDuringDestruction)
{
    struct t_case
    {
        const char* name;
        bool final_release_counts;
        bool destructor_counts;
        bool final_release_throws;
    };
    const t_case cases[] = {
        {"plain", false, false, false},
        {"FinalRelease counts up and down", true, false, false},
        {"destructor counts up and down", false, true, false},
        {"both count up and down", true, true, false},
        {"FinalRelease throws", false, false, true},
        {"FinalRelease counts and throws", true, true, true},
    };
    for (const auto& behaviour : cases)
    {
        SCOPED_TRACE(behaviour.name);
        t_probe probe;
        probe.final_release_counts = behaviour.final_release_counts;
        probe.destructor_counts = behaviour.destructor_counts;
        probe.final_release_throws = behaviour.final_release_throws;
        ITestObject* const object = create_test_object(probe);
        object->AddRef();
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(probe.final_releases, 0);
        EXPECT_EQ(object->Release(), 0u);
        EXPECT_EQ(probe.final_releases, 1);
        EXPECT_EQ(probe.destructions, 1);
    }
}

TEST(BaseUnknownTest, AggregatedObjectAnswersOnlyIUnknownAtCreation)
{
    t_probe probe;
    t_outer_object outer(probe);
    EXPECT_EQ(outer.create_inner(IID_ITestObject), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(outer.inner(), nullptr);
    EXPECT_EQ(probe.init_instances, 0);
    EXPECT_EQ(probe.destructions, 1);
    EXPECT_EQ(outer.count(), 1u);
}

TEST(BaseUnknownTest, AggregatedObjectPassesItsInterfacesIUnknownToTheOuterObject)
{
    t_probe probe;
    {
        t_outer_object outer(probe);
        ASSERT_EQ(outer.create_inner(IID_IUnknown), S_OK);
        ASSERT_NE(outer.inner(), nullptr);
        EXPECT_EQ(outer.count(), 1u);  // the inner object holds no reference to its outer

        ITestObject* interface_pointer = nullptr;
        ASSERT_EQ(
            outer.QueryInterface(IID_ITestObject, reinterpret_cast<void**>(&interface_pointer)),
            S_OK);
        EXPECT_EQ(outer.count(), 2u);  // counted on the outer object
        EXPECT_EQ(interface_pointer->GetValue(), 42);

        // The interface's IUnknown is the outer object's.
        IUnknown* identity = nullptr;
        ASSERT_EQ(
            interface_pointer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)),
            S_OK);
        EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
        EXPECT_EQ(outer.count(), 3u);
        identity->Release();
        interface_pointer->AddRef();
        EXPECT_EQ(outer.count(), 3u);
        interface_pointer->Release();
        interface_pointer->Release();
        EXPECT_EQ(outer.count(), 1u);
        EXPECT_EQ(probe.destructions, 0);
    }
    // The outer object released the inner one's own identity, which destroyed it.
    EXPECT_EQ(probe.final_releases, 1);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, TranslatesExceptionsOfItsMethods)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    EXPECT_EQ(object->FailWith(0), E_OUTOFMEMORY);
    EXPECT_EQ(object->FailWith(1), E_FAIL);
    EXPECT_EQ(object->FailWith(2), E_UNEXPECTED);
    object->Release();
}

TEST(BaseUnknownTest, CountsFromManyThreadsDestroyOnce)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    constexpr int k_threads = 8;
    constexpr int k_rounds = 20000;
    std::latch start(k_threads);
    std::vector<std::thread> threads;
    for (int index = 0; index < k_threads; ++index)
        threads.emplace_back(
            [&]
            {
                object->AddRef();  // each thread's own reference
                start.arrive_and_wait();
                for (int round = 0; round < k_rounds; ++round)
                {
                    object->AddRef();
                    object->Release();
                }
                object->Release();
            });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(probe.destructions, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(probe.final_releases, 1);
    EXPECT_EQ(probe.destructions, 1);
}

TEST(BaseUnknownTest, LastReleaseOnAnotherThreadDestroysThere)
{
    t_probe probe;
    ITestObject* const object = create_test_object(probe);
    std::thread([object] { object->Release(); }).join();
    EXPECT_EQ(probe.destructions, 1);
}

}  // namespace
