// A client process for one load of a library: `oxa_test_load_probe <library> [<preload>]` loads
// <preload> first when given, then <library>; prints "loaded {identifier}" (the library's
// VOKA_OS__GetComApiID answer) or "failed <Win32 error>", and unloads what it loaded.
#include "voka/win32.h"

#include <cstdio>
#include <string>

namespace
{

std::wstring wide(const char* text)
{
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, result.data(), size);
    result.resize(result.size() - 1);
    return result;
}

void print_api_id(HMODULE library)
{
    using t_get_com_api_id = BOOL (*)(GUID*);
    const auto get_com_api_id =
        reinterpret_cast<t_get_com_api_id>(::GetProcAddress(library, "VOKA_OS__GetComApiID"));
    GUID id{};
    if (get_com_api_id == nullptr || !get_com_api_id(&id))
    {
        std::printf("loaded without identifier\n");
        return;
    }
    std::printf("loaded {%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\n",
                static_cast<unsigned>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        std::printf("usage: oxa_test_load_probe <library> [<preload>]\n");
        return 2;
    }
    HMODULE preload = nullptr;
    if (argc == 3)
    {
        preload = ::LoadLibraryW(wide(argv[2]).c_str());
        if (preload == nullptr)
        {
            std::printf("preload failed %lu\n", static_cast<unsigned long>(::GetLastError()));
            return 2;
        }
    }
    const HMODULE library = ::LoadLibraryW(wide(argv[1]).c_str());
    if (library == nullptr)
    {
        std::printf("failed %lu\n", static_cast<unsigned long>(::GetLastError()));
    }
    else
    {
        print_api_id(library);
        ::FreeLibrary(library);
    }
    if (preload != nullptr)
        ::FreeLibrary(preload);
    return 0;
}
