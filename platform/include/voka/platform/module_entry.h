// How a module of the family tells the platform that the system loader has mapped or is unmapping
// it. The module-entry glue (platform/module_entry/module_entry_glue.cpp, compiled into every
// module with an entry point) calls these from the module's ELF constructor and destructor; the
// platform then calls the module's DllMain as Windows would: DLL_PROCESS_ATTACH when the module
// arrives (before main for a library linked at build time, inside LoadLibraryW for one loaded
// later, dependencies first), DLL_THREAD_ATTACH/DETACH around the threads the layer starts, and
// DLL_PROCESS_DETACH when it leaves (FreeLibrary of its last load, or process end).
#pragma once

#include "voka/win32.h"

extern "C"
{

using voka_module_entry_point = BOOL (*)(HINSTANCE, DWORD, LPVOID);

// `entry_point` is the module's DllMain (its address also identifies the module);
// `resource_section` its resource section (data at offsets from its start), or null with size 0.
void voka_platform_module_constructed(voka_module_entry_point entry_point,
                                      const unsigned char* resource_section,
                                      unsigned long resource_section_size) noexcept;

void voka_platform_module_destroyed(voka_module_entry_point entry_point) noexcept;
}
