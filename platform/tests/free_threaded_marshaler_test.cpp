// CoCreateFreeThreadedMarshaler: the marshaler on its own and aggregated by an object, its
// IMarshal and the in-process marshal data it writes.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

namespace
{

using ole32_test::create_stream;
using ole32_test::IID_ITestValue;
using ole32_test::ITestValue;
using ole32_test::rewind;
using ole32_test::run_on_other_thread;
using ole32_test::t_com_initialization;
using ole32_test::t_com_ptr;
using ole32_test::t_counted_object;
using ole32_test::t_object_probe;

// An object that aggregates the free-threaded marshaler, as agile objects do on Windows: it
// answers IMarshal through the marshaler's inner unknown.
class t_agile_object final : public ITestValue
{
public:
    static HRESULT create(t_object_probe& probe, ITestValue** object)
    {
        t_com_ptr<ITestValue> created(new t_agile_object(probe));
        auto* const self = static_cast<t_agile_object*>(created.get());
        const HRESULT result = CoCreateFreeThreadedMarshaler(self, self->m_marshaler.put());
        if (FAILED(result))
            return result;
        *object = created.detach();
        return S_OK;
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
        if (iid == IID_IMarshal)
            return m_marshaler->QueryInterface(iid, object);
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
    STDMETHODIMP_(int) GetValue() noexcept override { return 11; }

private:
    explicit t_agile_object(t_object_probe& probe) : m_probe(probe) { m_probe.references = 1; }
    ~t_agile_object() { ++m_probe.destructions; }

    t_object_probe& m_probe;
    t_com_ptr<IUnknown> m_marshaler;  // the inner unknown: never passes calls on
};

TEST(FreeThreadedMarshalerTest, OnItsOwnItIsItsOwnIdentity)
{
    t_com_ptr<IUnknown> marshaler;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(nullptr, marshaler.put()), S_OK);
    ASSERT_NE(marshaler.get(), nullptr);
    t_com_ptr<IMarshal> marshal;
    ASSERT_EQ(marshaler->QueryInterface(IID_IMarshal, marshal.put_void()), S_OK);
    t_com_ptr<IUnknown> identity;
    ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), marshaler.get());
    void* other = &other;
    EXPECT_EQ(marshaler->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(marshaler->AddRef(), 4u);  // marshaler, marshal, identity and this one
    EXPECT_EQ(marshaler->Release(), 3u);
}

TEST(FreeThreadedMarshalerTest, NullResultIsInvalidArg)
{
    EXPECT_EQ(CoCreateFreeThreadedMarshaler(nullptr, nullptr), E_INVALIDARG);
}

TEST(FreeThreadedMarshalerTest, AggregatedItPassesIUnknownToTheOuterObject)
{
    t_object_probe probe;
    t_com_ptr<ITestValue> object;
    ASSERT_EQ(t_agile_object::create(probe, object.put()), S_OK);
    EXPECT_EQ(probe.references, 1u);

    t_com_ptr<IMarshal> marshal;
    ASSERT_EQ(object->QueryInterface(IID_IMarshal, marshal.put_void()), S_OK);
    EXPECT_EQ(probe.references, 2u);  // the marshal interface counts the outer object

    // IUnknown and the outer object's own interfaces come from the outer object.
    t_com_ptr<IUnknown> identity;
    ASSERT_EQ(marshal->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(object.get()));
    t_com_ptr<ITestValue> value;
    ASSERT_EQ(marshal->QueryInterface(IID_ITestValue, value.put_void()), S_OK);
    EXPECT_EQ(value->GetValue(), 11);
    EXPECT_EQ(probe.references, 4u);

    identity.reset();
    value.reset();
    marshal.reset();
    EXPECT_EQ(probe.references, 1u);
    object.reset();
    EXPECT_EQ(probe.destructions, 1);  // and the marshaler with it: a leak checker sees no leak
}

TEST(FreeThreadedMarshalerTest, ReportsItsClassAndDataSize)
{
    t_com_ptr<IUnknown> marshaler;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(nullptr, marshaler.put()), S_OK);
    t_com_ptr<IMarshal> marshal;
    ASSERT_EQ(marshaler->QueryInterface(IID_IMarshal, marshal.put_void()), S_OK);

    CLSID class_id{};
    EXPECT_EQ(marshal->GetUnmarshalClass(IID_IUnknown, marshaler.get(), MSHCTX_INPROC, nullptr,
                                         MSHLFLAGS_NORMAL, &class_id),
              S_OK);
    EXPECT_EQ(class_id, CLSID_InProcFreeMarshaler);
    EXPECT_EQ(marshal->GetUnmarshalClass(IID_IUnknown, marshaler.get(), MSHCTX_LOCAL, nullptr,
                                         MSHLFLAGS_NORMAL, &class_id),
              E_NOTIMPL);
    EXPECT_EQ(marshal->GetUnmarshalClass(IID_IUnknown, marshaler.get(), MSHCTX_INPROC, nullptr,
                                         MSHLFLAGS_NORMAL, nullptr),
              E_INVALIDARG);

    // The data it writes is at most the size it reports.
    t_object_probe probe;
    t_com_ptr<ITestValue> object(t_counted_object::create(probe, 9));
    DWORD size = 0;
    ASSERT_EQ(marshal->GetMarshalSizeMax(IID_ITestValue, object.get(), MSHCTX_INPROC, nullptr,
                                         MSHLFLAGS_TABLESTRONG, &size),
              S_OK);
    EXPECT_GT(size, 0u);
    auto stream = create_stream();
    ASSERT_EQ(marshal->MarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                        nullptr, MSHLFLAGS_TABLESTRONG),
              S_OK);
    STATSTG statistics{};
    ASSERT_EQ(stream->Stat(&statistics, STATFLAG_NONAME), S_OK);
    EXPECT_GT(statistics.cbSize.QuadPart, 0u);
    EXPECT_LE(statistics.cbSize.QuadPart, size);
    rewind(stream.get());
    EXPECT_EQ(marshal->ReleaseMarshalData(stream.get()), S_OK);
    EXPECT_EQ(probe.references, 1u);
    EXPECT_EQ(marshal->DisconnectObject(0), S_OK);
}

TEST(FreeThreadedMarshalerTest, ItsDataUnmarshalsThroughItAndThroughCoUnmarshalInterface)
{
    t_com_ptr<IUnknown> marshaler;
    ASSERT_EQ(CoCreateFreeThreadedMarshaler(nullptr, marshaler.put()), S_OK);
    t_com_ptr<IMarshal> marshal;
    ASSERT_EQ(marshaler->QueryInterface(IID_IMarshal, marshal.put_void()), S_OK);
    t_object_probe probe;
    t_com_ptr<ITestValue> object(t_counted_object::create(probe, 13));

    auto stream = create_stream();
    ASSERT_EQ(marshal->MarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                        nullptr, MSHLFLAGS_NORMAL),
              S_OK);
    EXPECT_EQ(probe.references, 2u);
    rewind(stream.get());
    t_com_ptr<ITestValue> unmarshaled;
    ASSERT_EQ(marshal->UnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
              S_OK);
    EXPECT_EQ(unmarshaled->GetValue(), 13);
    unmarshaled.reset();
    EXPECT_EQ(probe.references, 1u);

    run_on_other_thread(
        [&]
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            rewind(stream.get());
            ASSERT_EQ(marshal->MarshalInterface(stream.get(), IID_ITestValue, object.get(),
                                                MSHCTX_CROSSCTX, nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
            rewind(stream.get());
            t_com_ptr<ITestValue> other;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, other.put_void()), S_OK);
            EXPECT_EQ(other->GetValue(), 13);
        });
    EXPECT_EQ(probe.references, 1u);
}

TEST(FreeThreadedMarshalerTest, AggregatedObjectCrossesThreadsByCoMarshalInterface)
{
    t_object_probe probe;
    t_com_ptr<ITestValue> object;
    ASSERT_EQ(t_agile_object::create(probe, object.put()), S_OK);
    auto stream = create_stream();
    run_on_other_thread(
        [&]
        {
            t_com_initialization com(COINIT_APARTMENTTHREADED);
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
        });
    rewind(stream.get());
    run_on_other_thread(
        [&]
        {
            t_com_initialization com(COINIT_APARTMENTTHREADED);
            t_com_ptr<ITestValue> unmarshaled;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(unmarshaled.get(), object.get());  // the object itself, not a proxy
        });
    EXPECT_EQ(probe.references, 1u);
}

}  // namespace
