// Compiled into every module of the family that has an entry point: hands the module's DllMain and
// its resource section to the platform when the system loader maps the module, and tells it when
// the module is unmapped. The resource section comes from the generated resources of the module,
// when it has any (weak: a module without resources leaves them undefined).
#include "voka/platform/module_entry.h"

// Hidden here, so that this module's own entry point is bound, never another module's DllMain
// of the same name.
extern "C" __attribute__((visibility("hidden"))) BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);

extern "C" __attribute__((weak, visibility("hidden"))) const unsigned char
    voka_module_resource_section[];
// This module's handle for exit functions (from the C runtime's start files), and their
// registration.
extern "C" void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso_handle);
extern "C" __attribute__((weak, visibility("hidden"))) const unsigned long
    voka_module_resource_section_size;

namespace
{

void voka_module_entry_detach_at_exit(void*)
{
    voka_platform_module_destroyed(&DllMain);
}

__attribute__((constructor)) void voka_module_entry_attach()
{
    const unsigned char* const section = voka_module_resource_section;
    const unsigned long size =
        &voka_module_resource_section_size != nullptr ? voka_module_resource_section_size : 0;
    voka_platform_module_constructed(&DllMain, section, section != nullptr ? size : 0);
    // Windows detaches a module before its C runtime destroys the module's statics. exit() runs
    // the destructors of a library loaded after main began before the ELF destructors below, so
    // the detach is also queued with them: behind the statics built so far (this file is the
    // module's last), it runs before their destructors. Whichever of the two comes first
    // detaches; the other finds the module gone.
    __cxa_atexit(&voka_module_entry_detach_at_exit, nullptr, &__dso_handle);
}

__attribute__((destructor)) void voka_module_entry_detach()
{
    voka_platform_module_destroyed(&DllMain);
}

}  // namespace
