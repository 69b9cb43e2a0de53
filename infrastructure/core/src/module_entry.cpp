// The entry point of the shared core library: it keeps no per-process or per-thread state, so it
// only switches the thread notifications off.
#include "voka/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
