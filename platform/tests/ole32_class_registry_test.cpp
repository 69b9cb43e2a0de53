// The registry-backed OLE32 functions: CLSIDFromProgID, ProgIDFromCLSID, CLSIDFromString with a
// program id, CoGetClassObject and CoCreateInstance with the in-process test server, and
// GetClassFile. Every test registers its classes in a registry database of its own.
#include "ole32_server/test_server.h"
#include "ole32_test_support.h"
#include "registry_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace
{

using ole32_test::run_on_other_thread;
using ole32_test::t_com_initialization;
using ole32_test::t_com_ptr;
using ole32_test_server::ITestServerValue;
using ole32_test_server::k_served_class;
using ole32_test_server::k_unserved_class;
using registry_test::create_key;
using registry_test::set_bytes;
using registry_test::set_string;

constexpr CLSID k_other_class{
    0x3E5D9A17, 0x64B2, 0x4C0F, {0x9E, 0x48, 0x1B, 0x7A, 0x20, 0xD3, 0x8C, 0x55}};

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring guid_text(REFGUID guid)
{
    wchar_t text[39];
    EXPECT_EQ(StringFromGUID2(guid, text, 39), 39);
    return text;
}

// Sets the default string value of HKEY_CLASSES_ROOT\<path>.
void register_text(const std::wstring& path, const std::wstring& text)
{
    const auto key = create_key(HKEY_CLASSES_ROOT, path);
    EXPECT_EQ(set_string(key.get(), nullptr, text), ERROR_SUCCESS);
}

void register_server(REFCLSID class_id, const std::wstring& file)
{
    register_text(L"CLSID\\" + guid_text(class_id) + L"\\InprocServer32", file);
}

const std::wstring k_server_file = widen(VOKA_TEST_OLE32_SERVER);

class ClassRegistryTest : public registry_test::RegistryTest
{
};

TEST_F(ClassRegistryTest, ProgIdsAndClassIdsFindEachOther)
{
    register_text(L"Voka.Sample.1\\CLSID", guid_text(k_served_class));
    register_text(L"CLSID\\" + guid_text(k_served_class) + L"\\ProgID", L"Voka.Sample.1");

    CLSID class_id{};
    EXPECT_EQ(CLSIDFromProgID(L"Voka.Sample.1", &class_id), S_OK);
    EXPECT_EQ(class_id, k_served_class);
    class_id = {};
    EXPECT_EQ(CLSIDFromProgID(L"VOKA.sample.1", &class_id), S_OK) << "names ignore case";
    EXPECT_EQ(class_id, k_served_class);
    class_id = {};
    EXPECT_EQ(CLSIDFromString(L"Voka.Sample.1", &class_id), S_OK) << "a program id as string";
    EXPECT_EQ(class_id, k_served_class);

    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(k_served_class, &prog_id), S_OK);
    ASSERT_NE(prog_id, nullptr);
    EXPECT_EQ(std::wstring(prog_id), L"Voka.Sample.1");
    CoTaskMemFree(prog_id);
}

TEST_F(ClassRegistryTest, UnregisteredOrBadProgIdIsABadClassString)
{
    register_text(L"Voka.NoBraces\\CLSID", L"6B0E4A11-3C72-4E59-A41D-52907F1EC308");
    register_text(L"Voka.Garbage\\CLSID", L"{not a class id}");
    const auto no_clsid = create_key(HKEY_CLASSES_ROOT, L"Voka.NoClsid");
    const auto dword_key = create_key(HKEY_CLASSES_ROOT, L"Voka.Dword\\CLSID");
    const DWORD number = 7;
    EXPECT_EQ(set_bytes(dword_key.get(), nullptr, REG_DWORD, &number, 4), ERROR_SUCCESS);

    for (const wchar_t* prog_id : {L"Voka.Unregistered.1", L"Voka.NoBraces", L"Voka.Garbage",
                                   L"Voka.NoClsid", L"Voka.Dword", L""})
    {
        SCOPED_TRACE(std::wstring(prog_id).size());
        CLSID class_id = k_other_class;
        EXPECT_EQ(CLSIDFromProgID(prog_id, &class_id), CO_E_CLASSSTRING);
        EXPECT_EQ(class_id, CLSID_NULL);
    }
    CLSID class_id = k_other_class;
    EXPECT_EQ(CLSIDFromString(L"Voka.Unregistered.1", &class_id), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &class_id), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(L"Voka.Sample.1", nullptr), E_INVALIDARG);
}

TEST_F(ClassRegistryTest, ClassWithoutProgIdIsNotRegistered)
{
    register_server(k_served_class, k_server_file);  // the class key exists, without ProgID
    for (REFCLSID class_id : {k_served_class, k_other_class})
    {
        LPOLESTR prog_id = reinterpret_cast<LPOLESTR>(&prog_id);
        EXPECT_EQ(ProgIDFromCLSID(class_id, &prog_id), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(prog_id, nullptr);
    }
    EXPECT_EQ(ProgIDFromCLSID(k_served_class, nullptr), E_INVALIDARG);
}

TEST_F(ClassRegistryTest, InProcessServerMakesObjects)
{
    register_server(k_served_class, k_server_file);
    for (const DWORD model : {COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED})
    {
        SCOPED_TRACE(model);
        run_on_other_thread(
            [model]
            {
                t_com_initialization com(model);
                for (const DWORD context :
                     {CLSCTX_INPROC_SERVER, CLSCTX_INPROC, CLSCTX_SERVER, CLSCTX_ALL})
                {
                    SCOPED_TRACE(context);
                    t_com_ptr<ITestServerValue> value;
                    ASSERT_EQ(CoCreateInstance(k_served_class, nullptr, context,
                                               ole32_test_server::IID_ITestServerValue,
                                               value.put_void()),
                              S_OK);
                    ASSERT_NE(value.get(), nullptr);
                    EXPECT_EQ(value->GetValue(), ole32_test_server::k_answer);

                    t_com_ptr<IClassFactory> factory;
                    ASSERT_EQ(CoGetClassObject(k_served_class, context, nullptr, IID_IClassFactory,
                                               factory.put_void()),
                              S_OK);
                    t_com_ptr<IUnknown> unknown;
                    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()),
                              S_OK);
                    EXPECT_NE(unknown.get(), nullptr);
                }
            });
    }
    // The server was loaded with LoadLibraryW and stays loaded; its objects are all gone.
    const HMODULE server = GetModuleHandleW(k_server_file.c_str());
    ASSERT_NE(server, nullptr);
    const auto live_objects = reinterpret_cast<ole32_test_server::t_live_objects>(
        GetProcAddress(server, "TestServerLiveObjects"));
    ASSERT_NE(live_objects, nullptr);
    EXPECT_EQ(live_objects(), 0);
}

TEST_F(ClassRegistryTest, ResultsOfTheServerComeBackUnchanged)
{
    register_server(k_served_class, k_server_file);
    register_server(k_unserved_class, k_server_file);
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_APARTMENTTHREADED);
            void* object = &object;
            EXPECT_EQ(CoCreateInstance(k_unserved_class, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IUnknown, &object),
                      CLASS_E_CLASSNOTAVAILABLE);
            EXPECT_EQ(object, nullptr);
            object = &object;
            EXPECT_EQ(CoCreateInstance(k_served_class, nullptr, CLSCTX_INPROC_SERVER, IID_IStream,
                                       &object),
                      E_NOINTERFACE);
            EXPECT_EQ(object, nullptr);
            object = &object;
            EXPECT_EQ(CoGetClassObject(k_served_class, CLSCTX_INPROC_SERVER, nullptr,
                                       ole32_test_server::IID_ITestServerValue, &object),
                      E_NOINTERFACE);
            EXPECT_EQ(object, nullptr);

            t_com_ptr<IClassFactory> outer;
            ASSERT_EQ(CoGetClassObject(k_served_class, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IClassFactory, outer.put_void()),
                      S_OK);
            object = &object;
            EXPECT_EQ(CoCreateInstance(k_served_class, outer.get(), CLSCTX_INPROC_SERVER,
                                       IID_IUnknown, &object),
                      CLASS_E_NOAGGREGATION);
            EXPECT_EQ(object, nullptr);
        });
}

TEST_F(ClassRegistryTest, ClassesWithoutAUsableServer)
{
    const std::wstring missing_file = (folder() / "no-such-server.so").wstring();
    constexpr CLSID k_missing_file_class{
        0x3E5D9A18, 0x64B2, 0x4C0F, {0x9E, 0x48, 0x1B, 0x7A, 0x20, 0xD3, 0x8C, 0x55}};
    constexpr CLSID k_no_entry_class{
        0x3E5D9A19, 0x64B2, 0x4C0F, {0x9E, 0x48, 0x1B, 0x7A, 0x20, 0xD3, 0x8C, 0x55}};
    constexpr CLSID k_no_server_class{
        0x3E5D9A1A, 0x64B2, 0x4C0F, {0x9E, 0x48, 0x1B, 0x7A, 0x20, 0xD3, 0x8C, 0x55}};
    register_server(k_missing_file_class, missing_file);
    register_server(k_no_entry_class, widen(VOKA_TEST_MODULE_PLAIN));
    register_text(L"CLSID\\" + guid_text(k_no_server_class) + L"\\ProgID", L"Voka.NoServer");
    register_server(k_served_class, k_server_file);

    struct t_case
    {
        const CLSID* class_id;
        DWORD context;
        HRESULT expected;
    };
    const t_case cases[] = {
        {&k_other_class, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        {&k_other_class, CLSCTX_ALL, REGDB_E_CLASSNOTREG},
        {&k_no_server_class, CLSCTX_INPROC_SERVER, REGDB_E_CLASSNOTREG},
        {&k_served_class, CLSCTX_LOCAL_SERVER, REGDB_E_CLASSNOTREG},
        {&k_served_class, CLSCTX_INPROC_HANDLER, REGDB_E_CLASSNOTREG},
        {&k_served_class, CLSCTX_REMOTE_SERVER, REGDB_E_CLASSNOTREG},
        {&k_served_class, 0, E_INVALIDARG},
        {&k_missing_file_class, CLSCTX_INPROC_SERVER, CO_E_DLLNOTFOUND},
        {&k_no_entry_class, CLSCTX_INPROC_SERVER, CO_E_ERRORINDLL},
    };
    run_on_other_thread(
        [&cases]
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            for (std::size_t index = 0; index < std::size(cases); ++index)
            {
                SCOPED_TRACE(index);
                const t_case& test = cases[index];
                void* object = &object;
                EXPECT_EQ(CoGetClassObject(*test.class_id, test.context, nullptr, IID_IClassFactory,
                                           &object),
                          test.expected);
                EXPECT_EQ(object, nullptr);
                object = &object;
                EXPECT_EQ(
                    CoCreateInstance(*test.class_id, nullptr, test.context, IID_IUnknown, &object),
                    test.expected);
                EXPECT_EQ(object, nullptr);
            }
        });
}

TEST_F(ClassRegistryTest, AServerWhoseEntryPointAsksForClassObjectsLoads)
{
    // Its entry point asks for the unserved class of the same server, while COM loads the
    // server for the first time.
    register_server(k_served_class, k_server_file);
    register_server(k_unserved_class, k_server_file);
    registry_test::t_scoped_environment asks("VOKA_TEST_SERVER_ATTACH_ASKS", "1");
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_com_ptr<ITestServerValue> value;
            ASSERT_EQ(CoCreateInstance(k_served_class, nullptr, CLSCTX_INPROC_SERVER,
                                       ole32_test_server::IID_ITestServerValue,
                                       value.put_void()),
                      S_OK);
            EXPECT_EQ(value->GetValue(), ole32_test_server::k_answer);
        });
    const HMODULE server = GetModuleHandleW(k_server_file.c_str());
    ASSERT_NE(server, nullptr);
    const auto attach_result = reinterpret_cast<ole32_test_server::t_attach_request_result>(
        GetProcAddress(server, "TestServerAttachRequestResult"));
    ASSERT_NE(attach_result, nullptr);
    EXPECT_EQ(attach_result(), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ClassRegistryTest, CreationOutsideAnApartmentIsNotInitialized)
{
    register_server(k_served_class, k_server_file);
    run_on_other_thread(
        []
        {
            void* object = &object;
            EXPECT_EQ(CoCreateInstance(k_served_class, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       &object),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(object, nullptr);
            object = &object;
            EXPECT_EQ(CoGetClassObject(k_served_class, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                                       &object),
                      CO_E_NOTINITIALIZED);
            EXPECT_EQ(object, nullptr);
            EXPECT_EQ(CoCreateInstance(k_served_class, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr),
                      E_POINTER);
            EXPECT_EQ(CoGetClassObject(k_served_class, CLSCTX_ALL, nullptr, IID_IUnknown, nullptr),
                      E_INVALIDARG);
        });
}

TEST_F(ClassRegistryTest, ExpandableServerPathUsesTheEnvironment)
{
    const std::string file(VOKA_TEST_OLE32_SERVER);
    const std::size_t slash = file.rfind('/');
    const registry_test::t_scoped_environment folder_variable("VOKA_TEST_SERVER_FOLDER",
                                                              file.substr(0, slash));
    const std::wstring text =
        L"%VOKA_TEST_SERVER_FOLDER%" + widen(file.substr(slash)) + L"%";  // a lone % stays
    const auto key =
        create_key(HKEY_CLASSES_ROOT, L"CLSID\\" + guid_text(k_served_class) + L"\\InprocServer32");
    EXPECT_EQ(set_bytes(key.get(), nullptr, REG_EXPAND_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            void* object = &object;
            // The expanded name ends with a %: no such file.
            EXPECT_EQ(CoGetClassObject(k_served_class, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IClassFactory, &object),
                      CO_E_DLLNOTFOUND);
        });
    const std::wstring exact = L"%VOKA_TEST_SERVER_FOLDER%" + widen(file.substr(slash));
    EXPECT_EQ(set_bytes(key.get(), nullptr, REG_EXPAND_SZ, exact.c_str(),
                        static_cast<DWORD>((exact.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    run_on_other_thread(
        []
        {
            t_com_initialization com(COINIT_MULTITHREADED);
            t_com_ptr<ITestServerValue> value;
            ASSERT_EQ(CoCreateInstance(k_served_class, nullptr, CLSCTX_INPROC_SERVER,
                                       ole32_test_server::IID_ITestServerValue, value.put_void()),
                      S_OK);
            EXPECT_EQ(value->GetValue(), ole32_test_server::k_answer);
        });
}

TEST_F(ClassRegistryTest, FilesAreKnownByTheirExtension)
{
    register_text(L".vokadoc", L"Voka.Document.1");
    register_text(L"Voka.Document.1\\CLSID", guid_text(k_served_class));
    register_text(L".vokaorphan", L"Voka.Orphan.1");  // a program id without a class

    const auto write_file = [this](const char* name)
    {
        std::ofstream(folder() / name) << "content";
        return (folder() / name).wstring();
    };
    const std::filesystem::path dotted_folder = folder() / "dotted.vokadoc";
    std::filesystem::create_directory(dotted_folder);
    std::ofstream(dotted_folder / "plain") << "content";

    struct t_case
    {
        std::wstring file;
        HRESULT expected;
        CLSID class_id;
    };
    const t_case cases[] = {
        {write_file("letter.vokadoc"), S_OK, k_served_class},
        {write_file("LETTER.VOKADOC"), S_OK, k_served_class},
        {write_file("letter.unknownext"), MK_E_INVALIDEXTENSION, CLSID_NULL},
        {write_file("letter.vokaorphan"), MK_E_INVALIDEXTENSION, CLSID_NULL},
        {write_file("noextension"), MK_E_INVALIDEXTENSION, CLSID_NULL},
        {write_file("trailingdot."), MK_E_INVALIDEXTENSION, CLSID_NULL},
        {(dotted_folder / "plain").wstring(), MK_E_INVALIDEXTENSION, CLSID_NULL},
        {(folder() / "missing.vokadoc").wstring(), MK_E_CANTOPENFILE, CLSID_NULL},
        {dotted_folder.wstring(), MK_E_CANTOPENFILE, CLSID_NULL},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index)
    {
        SCOPED_TRACE(index);
        CLSID class_id = k_other_class;
        EXPECT_EQ(GetClassFile(cases[index].file.c_str(), &class_id), cases[index].expected);
        EXPECT_EQ(class_id, cases[index].class_id);
    }
    CLSID class_id = k_other_class;
    EXPECT_EQ(GetClassFile(nullptr, &class_id), E_INVALIDARG);
    EXPECT_EQ(GetClassFile(cases[0].file.c_str(), nullptr), E_INVALIDARG);
}

}  // namespace
