// The functions that find classes in the registry: CLSIDFromProgID, ProgIDFromCLSID,
// CoGetClassObject, CoCreateInstance and GetClassFile. The layer has no registry yet, so every
// class and program id is unregistered; these cases pin the results Windows gives for that.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

namespace
{

using ole32_test::run_on_other_thread;
using ole32_test::t_com_initialization;

constexpr CLSID k_unregistered_class{
    0x3E5D9A17, 0x64B2, 0x4C0F, {0x9E, 0x48, 0x1B, 0x7A, 0x20, 0xD3, 0x8C, 0x55}};

TEST(ClassRegistryTest, UnregisteredProgIdIsABadClassString)
{
    CLSID class_id = k_unregistered_class;
    EXPECT_EQ(CLSIDFromProgID(L"Voka.Unregistered.1", &class_id), CO_E_CLASSSTRING);
    EXPECT_EQ(class_id, CLSID_NULL);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &class_id), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(L"Voka.Unregistered.1", nullptr), E_INVALIDARG);
}

TEST(ClassRegistryTest, UnregisteredClassHasNoProgId)
{
    LPOLESTR prog_id = reinterpret_cast<LPOLESTR>(&prog_id);
    EXPECT_EQ(ProgIDFromCLSID(k_unregistered_class, &prog_id), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(prog_id, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(k_unregistered_class, nullptr), E_INVALIDARG);
}

TEST(ClassRegistryTest, UnregisteredClassCannotBeCreated)
{
    for (const DWORD model : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED})
    {
        SCOPED_TRACE(model);
        run_on_other_thread(
            [model]
            {
                t_com_initialization com(model);
                void* object = &object;
                EXPECT_EQ(CoCreateInstance(k_unregistered_class, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IUnknown, &object),
                          REGDB_E_CLASSNOTREG);
                EXPECT_EQ(object, nullptr);
                object = &object;
                EXPECT_EQ(CoGetClassObject(k_unregistered_class, CLSCTX_ALL, nullptr, IID_IUnknown,
                                           &object),
                          REGDB_E_CLASSNOTREG);
                EXPECT_EQ(object, nullptr);
                EXPECT_EQ(CoCreateInstance(k_unregistered_class, nullptr, CLSCTX_ALL, IID_IUnknown,
                                           nullptr),
                          E_POINTER);
                EXPECT_EQ(CoGetClassObject(k_unregistered_class, CLSCTX_ALL, nullptr, IID_IUnknown,
                                           nullptr),
                          E_INVALIDARG);
            });
    }
}

TEST(ClassRegistryTest, CreationOutsideAnApartmentIsNotInitialized)
{
    run_on_other_thread(
        []
        {
            void* object = &object;
            EXPECT_EQ(CoCreateInstance(k_unregistered_class, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IUnknown, &object),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(object, nullptr);
            object = &object;
            EXPECT_EQ(CoGetClassObject(k_unregistered_class, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IUnknown, &object),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(object, nullptr);
        });
}

TEST(ClassRegistryTest, FileOfAnUnregisteredTypeHasNoClass)
{
    CLSID class_id = k_unregistered_class;
    EXPECT_EQ(GetClassFile(L"/tmp/voka-no-such-file.xyz", &class_id), MK_E_CANTOPENFILE);
    EXPECT_EQ(class_id, CLSID_NULL);
    EXPECT_EQ(GetClassFile(nullptr, &class_id), E_INVALIDARG);
    EXPECT_EQ(GetClassFile(L"file.xyz", nullptr), E_INVALIDARG);
}

}  // namespace
