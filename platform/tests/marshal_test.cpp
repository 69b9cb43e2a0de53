// CoMarshalInterface, CoUnmarshalInterface and CoReleaseMarshalData within the process: round
// trips across threads, the references that marshal data holds for each flag, and rejects.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using ole32_test::create_stream;
using ole32_test::IID_ITestValue;
using ole32_test::ITestValue;
using ole32_test::position_of;
using ole32_test::rewind;
using ole32_test::run_on_other_thread;
using ole32_test::t_com_initialization;
using ole32_test::t_com_ptr;
using ole32_test::t_counted_object;
using ole32_test::t_half_stream;
using ole32_test::t_object_probe;

TEST(MarshalTest, NormalDataRoundTripsOnceAndHoldsOneReferenceUntilThen)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 42));
            auto stream = create_stream();

            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
            EXPECT_EQ(probe.references, 2u);  // the marshal data holds one
            const ULONGLONG data_size = position_of(stream.get());
            EXPECT_GT(data_size, 0u);

            rewind(stream.get());
            t_com_ptr<ITestValue> unmarshaled;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(unmarshaled.get(), object.get());
            EXPECT_EQ(unmarshaled->GetValue(), 42);
            EXPECT_EQ(position_of(stream.get()), data_size);  // after the data
            EXPECT_EQ(probe.references, 2u);  // the data's reference went to the caller
            unmarshaled.reset();
            EXPECT_EQ(probe.references, 1u);
        });
}

TEST(MarshalTest, InterfaceCrossesToAThreadOfTheOtherModel)
{
    t_object_probe probe;
    t_com_ptr<ITestValue> object(t_counted_object::create(probe, 7));
    auto stream = create_stream();
    run_on_other_thread(
        [&]
        {
            t_com_initialization com(COINIT_APARTMENTTHREADED);
            ASSERT_EQ(com.result(), S_OK);
            EXPECT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
        });
    rewind(stream.get());
    run_on_other_thread(
        [&]
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            ASSERT_EQ(com.result(), S_OK);
            t_com_ptr<ITestValue> unmarshaled;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(unmarshaled->GetValue(), 7);
        });
    EXPECT_EQ(probe.references, 1u);
}

TEST(MarshalTest, UnmarshalAsksForTheInterfaceItIsGiven)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 3));
            struct t_case
            {
                const char* name;
                const IID* iid;
                HRESULT expected;
            };
            const t_case cases[] = {
                {"the marshaled interface", &IID_ITestValue, S_OK},
                {"IID_NULL: the marshaled interface", &IID_NULL, S_OK},
                {"IUnknown", &IID_IUnknown, S_OK},
                {"an interface the object lacks", &IID_IStream, E_NOINTERFACE},
            };
            for (const auto& request : cases)
            {
                SCOPED_TRACE(request.name);
                auto stream = create_stream();
                ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(),
                                             MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL),
                          S_OK);
                rewind(stream.get());
                void* unmarshaled = &unmarshaled;
                EXPECT_EQ(CoUnmarshalInterface(stream.get(), *request.iid, &unmarshaled),
                          request.expected);
                if (SUCCEEDED(request.expected))
                {
                    EXPECT_EQ(unmarshaled, static_cast<void*>(object.get()));
                    static_cast<IUnknown*>(unmarshaled)->Release();
                }
                else
                    EXPECT_EQ(unmarshaled, nullptr);
                // Normal data is used up either way.
                EXPECT_EQ(probe.references, 1u);
            }
        });
}

TEST(MarshalTest, TableStrongDataUnmarshalsManyTimesUntilReleased)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_TABLESTRONG),
                      S_OK);
            EXPECT_EQ(probe.references, 2u);
            t_com_ptr<ITestValue> first;
            t_com_ptr<ITestValue> second;
            rewind(stream.get());
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, first.put_void()), S_OK);
            rewind(stream.get());
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, second.put_void()), S_OK);
            EXPECT_EQ(probe.references, 4u);
            first.reset();
            second.reset();
            EXPECT_EQ(probe.references, 2u);  // the table entry still holds one
            rewind(stream.get());
            EXPECT_EQ(CoReleaseMarshalData(stream.get()), S_OK);
            EXPECT_EQ(probe.references, 1u);
        });
}

TEST(MarshalTest, TableWeakDataHoldsNoReference)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_TABLEWEAK),
                      S_OK);
            EXPECT_EQ(probe.references, 1u);
            rewind(stream.get());
            t_com_ptr<ITestValue> unmarshaled;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(probe.references, 2u);
            unmarshaled.reset();
            rewind(stream.get());
            EXPECT_EQ(CoReleaseMarshalData(stream.get()), S_OK);
            EXPECT_EQ(probe.references, 1u);
        });
}

TEST(MarshalTest, ReleaseMarshalDataReleasesNormalDataNeverUnmarshaled)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_APARTMENTTHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(),
                                         MSHCTX_CROSSCTX, nullptr,
                                         MSHLFLAGS_NORMAL | MSHLFLAGS_NOPING),
                      S_OK);
            EXPECT_EQ(probe.references, 2u);
            rewind(stream.get());
            EXPECT_EQ(CoReleaseMarshalData(stream.get()), S_OK);
            EXPECT_EQ(probe.references, 1u);
            object.reset();
            EXPECT_EQ(probe.destructions, 1);
        });
}

TEST(MarshalTest, DataFollowEachOtherInTheStream)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe first_probe;
            t_object_probe second_probe;
            t_com_ptr<ITestValue> first(t_counted_object::create(first_probe, 1));
            t_com_ptr<ITestValue> second(t_counted_object::create(second_probe, 2));
            auto stream = create_stream();
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, first.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, second.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
            rewind(stream.get());
            t_com_ptr<ITestValue> unmarshaled;
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(unmarshaled->GetValue(), 1);
            ASSERT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, unmarshaled.put_void()),
                      S_OK);
            EXPECT_EQ(unmarshaled->GetValue(), 2);
            unmarshaled.reset();
            EXPECT_EQ(first_probe.references, 1u);
            EXPECT_EQ(second_probe.references, 1u);
        });
}

TEST(MarshalTest, ThreadOutsideAnApartmentIsNotInitialized)
{
    run_on_other_thread(
        []
        {
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            EXPECT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(probe.references, 1u);
            EXPECT_EQ(position_of(stream.get()), 0u);
            void* unmarshaled = &unmarshaled;
            EXPECT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, &unmarshaled),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(unmarshaled, nullptr);
            EXPECT_EQ(CoReleaseMarshalData(stream.get()), CO_E_NOTINITIALIZED);
        });
}

TEST(MarshalTest, RequestsThatCannotBeMetHoldNothing)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            struct t_case
            {
                const char* name;
                const IID* iid;
                DWORD context;
                DWORD flags;
                HRESULT expected;
            };
            const t_case cases[] = {
                {"another process", &IID_ITestValue, MSHCTX_LOCAL, MSHLFLAGS_NORMAL, E_NOTIMPL},
                {"no shared memory", &IID_ITestValue, MSHCTX_NOSHAREDMEM, MSHLFLAGS_NORMAL,
                 E_NOTIMPL},
                {"another machine", &IID_ITestValue, MSHCTX_DIFFERENTMACHINE, MSHLFLAGS_NORMAL,
                 E_NOTIMPL},
                {"unknown context", &IID_ITestValue, 99, MSHLFLAGS_NORMAL, E_INVALIDARG},
                {"strong and weak", &IID_ITestValue, MSHCTX_INPROC,
                 MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK, E_INVALIDARG},
                {"unknown flag", &IID_ITestValue, MSHCTX_INPROC, 0x100, E_INVALIDARG},
                {"interface the object lacks", &IID_IStream, MSHCTX_INPROC, MSHLFLAGS_NORMAL,
                 E_NOINTERFACE},
            };
            for (const auto& request : cases)
            {
                SCOPED_TRACE(request.name);
                auto stream = create_stream();
                EXPECT_EQ(CoMarshalInterface(stream.get(), *request.iid, object.get(),
                                             request.context, nullptr, request.flags),
                          request.expected);
                EXPECT_EQ(probe.references, 1u);
                EXPECT_EQ(position_of(stream.get()), 0u);
            }
        });
}

TEST(MarshalTest, StreamThatTakesTooFewBytesIsMediumFull)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            t_half_stream stream;
            EXPECT_EQ(CoMarshalInterface(&stream, IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      STG_E_MEDIUMFULL);
            EXPECT_EQ(probe.references, 1u);
        });
}

TEST(MarshalTest, NullArgumentsAreInvalidArg)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            EXPECT_EQ(CoMarshalInterface(nullptr, IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      E_INVALIDARG);
            EXPECT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, nullptr, MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      E_INVALIDARG);
            void* unmarshaled = &unmarshaled;
            EXPECT_EQ(CoUnmarshalInterface(nullptr, IID_ITestValue, &unmarshaled), E_INVALIDARG);
            EXPECT_EQ(unmarshaled, nullptr);
            EXPECT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, nullptr), E_INVALIDARG);
            EXPECT_EQ(CoReleaseMarshalData(nullptr), E_INVALIDARG);
            EXPECT_EQ(probe.references, 1u);
        });
}

TEST(MarshalTest, DataThatIsNotMarshalDataIsRejected)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            struct t_case
            {
                const char* name;
                std::string bytes;
                HRESULT expected;
            };
            const t_case cases[] = {
                {"empty stream", "", STG_E_READFAULT},
                {"a few bytes", "abc", STG_E_READFAULT},
                {"text", std::string(64, 'x'), RPC_E_INVALID_OBJREF},
                {"zeros", std::string(64, '\0'), RPC_E_INVALID_OBJREF},
            };
            for (const auto& data : cases)
            {
                SCOPED_TRACE(data.name);
                auto stream = create_stream();
                ULONG written = 0;
                ASSERT_EQ(stream->Write(data.bytes.data(), static_cast<ULONG>(data.bytes.size()),
                                        &written),
                          S_OK);
                rewind(stream.get());
                void* unmarshaled = &unmarshaled;
                EXPECT_EQ(CoUnmarshalInterface(stream.get(), IID_IUnknown, &unmarshaled),
                          data.expected);
                EXPECT_EQ(unmarshaled, nullptr);
                rewind(stream.get());
                EXPECT_EQ(CoReleaseMarshalData(stream.get()), data.expected);
            }
        });
}

TEST(MarshalTest, TruncatedMarshalDataIsReadFault)
{
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_object_probe probe;
            t_com_ptr<ITestValue> object(t_counted_object::create(probe, 5));
            auto stream = create_stream();
            ASSERT_EQ(CoMarshalInterface(stream.get(), IID_ITestValue, object.get(), MSHCTX_INPROC,
                                         nullptr, MSHLFLAGS_NORMAL),
                      S_OK);
            const ULONGLONG data_size = position_of(stream.get());
            ULARGE_INTEGER size{};
            size.QuadPart = data_size - 1;
            ASSERT_EQ(stream->SetSize(size), S_OK);
            rewind(stream.get());
            void* unmarshaled = &unmarshaled;
            EXPECT_EQ(CoUnmarshalInterface(stream.get(), IID_ITestValue, &unmarshaled),
                      STG_E_READFAULT);
            EXPECT_EQ(unmarshaled, nullptr);
            // The cut data cannot be released any more: the reference it held is the test's to
            // drop.
            EXPECT_EQ(probe.references, 2u);
            object->Release();
        });
}

}  // namespace
