// The library's entry point: the module start when a process attaches, the stop when it detaches.
#include "runtime/oxa_module.h"
#include "voka/win32.h"

#if defined(_WIN32)
#define OXA_ENTRY_POINT extern "C"
#else
// Found by name by the platform's loader: visible whatever the library's default visibility.
#define OXA_ENTRY_POINT extern "C" __attribute__((visibility("default")))
#endif

OXA_ENTRY_POINT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    namespace oxa = voka::infrastructure::multitasking::oxa;
    try
    {
        switch (reason)
        {
        case DLL_PROCESS_ATTACH:
            return oxa::oxa_module_start(instance) ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            oxa::oxa_module_stop();
            return TRUE;
        default:  // thread calls are switched off by the start
            return TRUE;
        }
    }
    catch (...)
    {
        return FALSE;
    }
}
