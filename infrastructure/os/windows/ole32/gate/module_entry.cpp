// The gate's module entry: creates the library's private data heap when the process attaches and
// destroys it when the process detaches. Nothing allocates from the heap; a library that cannot
// create it does not load.
#include "voka/win32.h"

#include <string>

namespace
{

// The heap's name, used in messages only.
constexpr char k_heap_name[] = "__Tg_DataHeapWin32__";

// The private data heap; null while none exists. Only the entry point, which the loader
// serialises, touches it.
HANDLE g_data_heap = nullptr;

void report(const char* what)
{
    const std::string text = std::string(what) + " \"" + k_heap_name + "\"\n";
    OutputDebugStringA(text.c_str());
}

void destroy_heap()
{
    if (g_data_heap == nullptr)
        return;
    if (HeapDestroy(g_data_heap))
        g_data_heap = nullptr;
    else
        report("ERROR: Failed to destroy a heap");
}

BOOL create_heap()
{
    g_data_heap = HeapCreate(0, 65536, 0);
    if (g_data_heap != nullptr)
        return TRUE;
    report("ERROR: Failed to create a memory heap");
    destroy_heap();
    return FALSE;
}

}  // namespace

// The module's entry point, called by the loader (on POSIX hosts through the module-entry glue).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    try
    {
        switch (reason)
        {
        case DLL_PROCESS_ATTACH:
            return create_heap();
        case DLL_PROCESS_DETACH:
            destroy_heap();
            return TRUE;
        default:  // thread attach and detach
            return TRUE;
        }
    }
    catch (...)
    {
        return FALSE;
    }
}
