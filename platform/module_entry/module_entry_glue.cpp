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
extern "C" __attribute__((weak, visibility("hidden"))) const unsigned long
    voka_module_resource_section_size;

namespace
{

__attribute__((constructor)) void voka_module_entry_attach()
{
    const unsigned char* const section = voka_module_resource_section;
    const unsigned long size =
        &voka_module_resource_section_size != nullptr ? voka_module_resource_section_size : 0;
    voka_platform_module_constructed(&DllMain, section, section != nullptr ? size : 0);
}

__attribute__((destructor)) void voka_module_entry_detach()
{
    voka_platform_module_destroyed(&DllMain);
}

}  // namespace
