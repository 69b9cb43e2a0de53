// A module for the module-entry tests, with the module-entry glue: its entry point reports every
// call to the program (which exports voka_test_glued_event) and refuses the process attach when
// VOKA_TEST_MODULE_FAIL_ATTACH names it. A detach that comes after the module's statics were
// destroyed reports the module's name with " (statics gone)".
#include "voka/win32.h"

#include <cstdlib>
#include <cstring>

extern "C" void voka_test_glued_event(const char* module_name, DWORD reason, LPVOID reserved);

namespace
{

// A static with a destructor, as most modules have.
struct t_static_witness
{
    bool alive = true;
    ~t_static_witness() { alive = false; }
};

t_static_witness g_witness;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    voka_test_glued_event(g_witness.alive ? TEST_MODULE_NAME : TEST_MODULE_NAME " (statics gone)",
                          reason, reserved);
    const char* const failing = std::getenv("VOKA_TEST_MODULE_FAIL_ATTACH");
    if (reason == DLL_PROCESS_ATTACH && failing != nullptr &&
        std::strcmp(failing, TEST_MODULE_NAME) == 0)
        return FALSE;
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) const char* voka_test_glued_module_name()
{
    return TEST_MODULE_NAME;
}

// The dependent module imports a function of the base module, so that loading it loads the base.
#if defined(TEST_MODULE_IS_BASE)
extern "C" __attribute__((visibility("default"))) int voka_test_glued_base_function()
{
    return 1;
}
#elif !defined(TEST_MODULE_STANDS_ALONE)
extern "C" int voka_test_glued_base_function();
extern "C" __attribute__((visibility("default"))) int voka_test_glued_call_base()
{
    return voka_test_glued_base_function();
}
#endif
