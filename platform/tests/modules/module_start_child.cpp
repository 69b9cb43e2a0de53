// A program linked at build time against a module with the module-entry glue: prints every entry
// point call of the module and a line from main, so a test can see their order.
#include "voka/win32.h"

#include <cstdio>

extern "C" __attribute__((visibility("default"))) void
voka_test_glued_event(const char* module_name, DWORD reason, LPVOID reserved)
{
    std::printf("%s %lu %s\n", module_name, static_cast<unsigned long>(reason),
                reserved != nullptr ? "static" : "dynamic");
    std::fflush(stdout);
}

extern "C" const char* voka_test_glued_module_name();

int main()
{
    std::printf("main %s\n", voka_test_glued_module_name());
    std::fflush(stdout);
    return 0;
}
