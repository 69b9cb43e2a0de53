// A program linked at build time against a module with the module-entry glue: prints every entry
// point call of the module and a line from main, so a test can see their order. With an argument,
// main also loads that module by LoadLibraryW and leaves it loaded at the end.
#include "voka/win32.h"

#include <cstdio>
#include <string>

extern "C" __attribute__((visibility("default"))) void
voka_test_glued_event(const char* module_name, DWORD reason, LPVOID reserved)
{
    std::printf("%s %lu %s\n", module_name, static_cast<unsigned long>(reason),
                reserved != nullptr ? "static" : "dynamic");
    std::fflush(stdout);
}

extern "C" const char* voka_test_glued_module_name();

int main(int argc, char** argv)
{
    std::printf("main %s\n", voka_test_glued_module_name());
    std::fflush(stdout);
    if (argc > 1)
    {
        const std::string path = argv[1];
        if (::LoadLibraryW(std::wstring(path.begin(), path.end()).c_str()) == nullptr)
            return 2;
    }
    return 0;
}
