// A module for the loader's tests: its entry point reports every call to the test program (which
// exports voka_test_module_event) and answers the process attach with TEST_MODULE_ATTACH_RESULT.
#include "voka/win32.h"

extern "C" void voka_test_module_event(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE instance, DWORD reason,
                                                               LPVOID reserved)
{
    voka_test_module_event(instance, reason, reserved);
    return reason == DLL_PROCESS_ATTACH ? TEST_MODULE_ATTACH_RESULT : TRUE;
}

// A function for GetProcAddress.
extern "C" __attribute__((visibility("default"))) int voka_test_module_answer()
{
    return TEST_MODULE_ANSWER;
}
