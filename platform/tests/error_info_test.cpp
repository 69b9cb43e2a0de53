// Error objects: CreateErrorInfo and the object it makes, SetErrorInfo and GetErrorInfo with
// the calling thread's slot, its reference counting and its release when the thread ends.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>

namespace
{

using ole32_test::run_on_other_thread;
using ole32_test::t_com_ptr;
using ole32_test::t_object_probe;

constexpr GUID k_interface_guid{
    0x8A3C64F1, 0x2D7E, 0x4B90, {0xA1, 0x5F, 0x33, 0xC8, 0x0E, 0x9D, 0x72, 0x46}};

// An IErrorInfo of the test's own, counting its references in a probe.
class t_probed_error_info final : public IErrorInfo
{
public:
    static IErrorInfo* create(t_object_probe& probe) { return new t_probed_error_info(probe); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IErrorInfo)
        {
            *object = static_cast<IErrorInfo*>(this);
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
    STDMETHODIMP GetGUID(GUID*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetSource(BSTR*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetDescription(BSTR*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpFile(BSTR*) noexcept override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpContext(DWORD*) noexcept override { return E_NOTIMPL; }

    // Makes `object`'s destruction store `successor` (which it holds until then) as the thread's
    // error object.
    static void set_on_destruction(IErrorInfo* object, IErrorInfo* successor)
    {
        successor->AddRef();
        static_cast<t_probed_error_info*>(object)->m_successor = successor;
    }

private:
    explicit t_probed_error_info(t_object_probe& probe) : m_probe(probe) { m_probe.references = 1; }
    ~t_probed_error_info()
    {
        if (m_successor != nullptr)
        {
            EXPECT_EQ(SetErrorInfo(0, m_successor), S_OK);
            m_successor->Release();
        }
        ++m_probe.destructions;
    }

    t_object_probe& m_probe;
    IErrorInfo* m_successor = nullptr;
};

t_com_ptr<ICreateErrorInfo> create_error_info()
{
    t_com_ptr<ICreateErrorInfo> created;
    EXPECT_EQ(CreateErrorInfo(created.put()), S_OK);
    EXPECT_NE(created.get(), nullptr);
    return created;
}

t_com_ptr<IErrorInfo> error_info_of(const t_com_ptr<ICreateErrorInfo>& created)
{
    t_com_ptr<IErrorInfo> error_info;
    EXPECT_EQ(created->QueryInterface(IID_IErrorInfo, error_info.put_void()), S_OK);
    return error_info;
}

// A BSTR out-value taken over and freed.
std::wstring take_text(BSTR text)
{
    std::wstring result = text != nullptr ? std::wstring(text, SysStringLen(text)) : L"<null>";
    SysFreeString(text);
    return result;
}

TEST(ErrorInfoTest, CreatedObjectAnswersBothInterfacesWithOneIdentity)
{
    auto created = create_error_info();
    auto error_info = error_info_of(created);
    t_com_ptr<IUnknown> identity_from_create;
    t_com_ptr<IUnknown> identity_from_error;
    ASSERT_EQ(created->QueryInterface(IID_IUnknown, identity_from_create.put_void()), S_OK);
    ASSERT_EQ(error_info->QueryInterface(IID_IUnknown, identity_from_error.put_void()), S_OK);
    EXPECT_EQ(identity_from_create.get(), identity_from_error.get());

    t_com_ptr<ICreateErrorInfo> back;
    ASSERT_EQ(error_info->QueryInterface(IID_ICreateErrorInfo, back.put_void()), S_OK);
    EXPECT_EQ(back.get(), created.get());

    void* other = &other;
    EXPECT_EQ(created->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(created->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(ErrorInfoTest, CountsReferencesAsComObjectsDo)
{
    ICreateErrorInfo* created = nullptr;
    ASSERT_EQ(CreateErrorInfo(&created), S_OK);
    EXPECT_EQ(created->AddRef(), 2u);
    EXPECT_EQ(created->AddRef(), 3u);
    EXPECT_EQ(created->Release(), 2u);
    EXPECT_EQ(created->Release(), 1u);
    EXPECT_EQ(created->Release(), 0u);  // destroyed; a leak checker sees no leak
}

TEST(ErrorInfoTest, FieldsStartEmptyAndRoundTrip)
{
    auto created = create_error_info();
    auto error_info = error_info_of(created);

    GUID guid{1, 2, 3, {4}};
    DWORD context = 99;
    BSTR text = nullptr;
    EXPECT_EQ(error_info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, GUID_NULL);
    EXPECT_EQ(error_info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(error_info->GetSource(&text), S_OK);
    EXPECT_EQ(text, nullptr);

    std::wstring source = L"Voka.Source";
    std::wstring description = L"Something failed: \u0416";
    std::wstring help_file = L"help.chm";
    EXPECT_EQ(created->SetGUID(k_interface_guid), S_OK);
    EXPECT_EQ(created->SetSource(source.data()), S_OK);
    EXPECT_EQ(created->SetDescription(description.data()), S_OK);
    EXPECT_EQ(created->SetHelpFile(help_file.data()), S_OK);
    EXPECT_EQ(created->SetHelpContext(4711), S_OK);

    EXPECT_EQ(error_info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, k_interface_guid);
    ASSERT_EQ(error_info->GetSource(&text), S_OK);
    EXPECT_EQ(take_text(text), source);
    ASSERT_EQ(error_info->GetDescription(&text), S_OK);
    EXPECT_EQ(take_text(text), description);
    ASSERT_EQ(error_info->GetHelpFile(&text), S_OK);
    EXPECT_EQ(take_text(text), help_file);
    EXPECT_EQ(error_info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 4711u);

    // Each getter hands out its own copy.
    BSTR first = nullptr;
    BSTR second = nullptr;
    ASSERT_EQ(error_info->GetDescription(&first), S_OK);
    ASSERT_EQ(error_info->GetDescription(&second), S_OK);
    EXPECT_NE(first, second);
    EXPECT_EQ(take_text(first), take_text(second));

    // A null text clears the field.
    EXPECT_EQ(created->SetSource(nullptr), S_OK);
    ASSERT_EQ(error_info->GetSource(&text), S_OK);
    EXPECT_EQ(text, nullptr);
}

TEST(ErrorInfoTest, NullOutPointersAreInvalidArg)
{
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
    auto created = create_error_info();
    auto error_info = error_info_of(created);
    EXPECT_EQ(error_info->GetGUID(nullptr), E_INVALIDARG);
    EXPECT_EQ(error_info->GetSource(nullptr), E_INVALIDARG);
    EXPECT_EQ(error_info->GetDescription(nullptr), E_INVALIDARG);
    EXPECT_EQ(error_info->GetHelpFile(nullptr), E_INVALIDARG);
    EXPECT_EQ(error_info->GetHelpContext(nullptr), E_INVALIDARG);
}

TEST(ErrorInfoTest, GetErrorInfoHandsTheObjectOverAndClearsIt)
{
    run_on_other_thread(
        []
        {
            auto created = create_error_info();
            auto error_info = error_info_of(created);
            ASSERT_EQ(SetErrorInfo(0, error_info.get()), S_OK);

            t_com_ptr<IErrorInfo> taken;
            EXPECT_EQ(GetErrorInfo(0, taken.put()), S_OK);
            EXPECT_EQ(taken.get(), error_info.get());

            IErrorInfo* again = error_info.get();  // not null, so that the reset is visible
            EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
            EXPECT_EQ(again, nullptr);
        });
}

TEST(ErrorInfoTest, ThreadWithoutErrorObjectGivesSFalse)
{
    run_on_other_thread(
        []
        {
            IErrorInfo* none = reinterpret_cast<IErrorInfo*>(&none);
            EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
            EXPECT_EQ(none, nullptr);
            // Clearing an empty slot is fine.
            EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
            EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
        });
}

TEST(ErrorInfoTest, ReservedOrNullArgumentsAreInvalidArg)
{
    run_on_other_thread(
        []
        {
            t_object_probe probe;
            t_com_ptr<IErrorInfo> error_info(t_probed_error_info::create(probe));
            IErrorInfo* out = nullptr;
            EXPECT_EQ(SetErrorInfo(1, error_info.get()), E_INVALIDARG);
            EXPECT_EQ(probe.references, 1u);  // not taken
            EXPECT_EQ(GetErrorInfo(1, &out), E_INVALIDARG);
            EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
            EXPECT_EQ(GetErrorInfo(0, &out), S_FALSE);
        });
}

TEST(ErrorInfoTest, SlotCountsItsReference)
{
    run_on_other_thread(
        []
        {
            t_object_probe first_probe;
            t_object_probe second_probe;
            t_com_ptr<IErrorInfo> first(t_probed_error_info::create(first_probe));
            t_com_ptr<IErrorInfo> second(t_probed_error_info::create(second_probe));

            ASSERT_EQ(SetErrorInfo(0, first.get()), S_OK);
            EXPECT_EQ(first_probe.references, 2u);
            // Replacing releases the old object.
            ASSERT_EQ(SetErrorInfo(0, second.get()), S_OK);
            EXPECT_EQ(first_probe.references, 1u);
            EXPECT_EQ(second_probe.references, 2u);
            // Handing over moves the slot's reference to the caller.
            t_com_ptr<IErrorInfo> taken;
            ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
            EXPECT_EQ(second_probe.references, 2u);
            taken.reset();
            EXPECT_EQ(second_probe.references, 1u);
            // Clearing releases.
            ASSERT_EQ(SetErrorInfo(0, first.get()), S_OK);
            ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
            EXPECT_EQ(first_probe.references, 1u);
        });
}

TEST(ErrorInfoTest, ErrorObjectsAreInvisibleToOtherThreads)
{
    run_on_other_thread(
        []
        {
            auto created = create_error_info();
            auto error_info = error_info_of(created);
            ASSERT_EQ(SetErrorInfo(0, error_info.get()), S_OK);

            std::thread other(
                []
                {
                    IErrorInfo* seen = nullptr;
                    EXPECT_EQ(GetErrorInfo(0, &seen), S_FALSE);
                    EXPECT_EQ(seen, nullptr);
                    // The other thread's own object does not reach this thread either.
                    auto own = create_error_info();
                    EXPECT_EQ(SetErrorInfo(0, error_info_of(own).get()), S_OK);
                });
            other.join();

            t_com_ptr<IErrorInfo> taken;
            ASSERT_EQ(GetErrorInfo(0, taken.put()), S_OK);
            EXPECT_EQ(taken.get(), error_info.get());
        });
}

TEST(ErrorInfoTest, ThreadEndReleasesItsErrorObject)
{
    t_object_probe probe;
    t_com_ptr<IErrorInfo> error_info(t_probed_error_info::create(probe));
    std::latch set(1);
    std::latch finish(1);
    std::thread thread(
        [&]
        {
            EXPECT_EQ(SetErrorInfo(0, error_info.get()), S_OK);
            set.count_down();
            finish.wait();
        });
    set.wait();
    EXPECT_EQ(probe.references, 2u);
    finish.count_down();
    thread.join();
    EXPECT_EQ(probe.references, 1u);
    error_info.reset();
    EXPECT_EQ(probe.destructions, 1);
}

TEST(ErrorInfoTest, ObjectReleasedAtThreadEndMaySetAnotherOne)
{
    t_object_probe first_probe;
    t_object_probe second_probe;
    std::thread thread(
        [&]
        {
            IErrorInfo* const first = t_probed_error_info::create(first_probe);
            IErrorInfo* const second = t_probed_error_info::create(second_probe);
            // When the thread end releases the first object, its last release stores the second.
            t_probed_error_info::set_on_destruction(first, second);
            EXPECT_EQ(SetErrorInfo(0, first), S_OK);
            first->Release();
            second->Release();
            EXPECT_EQ(first_probe.references, 1u);
            EXPECT_EQ(second_probe.references, 1u);  // held by the first object
        });
    thread.join();
    EXPECT_EQ(first_probe.destructions, 1);
    EXPECT_EQ(second_probe.destructions, 1);
}

TEST(ErrorInfoTest, ErrorObjectsAreUsableFromManyThreadsAtOnce)
{
    auto created = create_error_info();
    auto error_info = error_info_of(created);
    constexpr int k_threads = 6;
    std::latch start(k_threads);
    std::thread threads[k_threads];
    for (int index = 0; index < k_threads; ++index)
        threads[index] = std::thread(
            [&, index]
            {
                std::wstring text = L"thread " + std::to_wstring(index);
                start.arrive_and_wait();
                for (int round = 0; round < 200; ++round)
                {
                    EXPECT_EQ(created->SetDescription(text.data()), S_OK);
                    BSTR read = nullptr;
                    EXPECT_EQ(error_info->GetDescription(&read), S_OK);
                    EXPECT_EQ(take_text(read).rfind(L"thread ", 0), 0u);
                    EXPECT_EQ(SetErrorInfo(0, error_info.get()), S_OK);
                    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
                }
            });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(error_info->AddRef(), 3u);  // the two owners here, and this one
    error_info->Release();
}

}  // namespace
