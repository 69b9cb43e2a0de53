// The in-process servers of the process: modules loaded once for their class objects.
#pragma once

#include "voka/win32.h"

#include <string>

namespace voka::platform::ole32
{

// Asks the in-process server in the module file `file` for the class object of `class_id` with
// interface `iid`. The module is loaded with LoadLibraryW the first time and stays loaded until
// the process ends. CO_E_DLLNOTFOUND when it cannot be loaded, CO_E_ERRORINDLL when it exports no
// DllGetClassObject; otherwise what DllGetClassObject returns. Throws std::bad_alloc.
HRESULT get_inproc_class_object(const std::wstring& file, REFCLSID class_id, REFIID iid,
                                void** object);

}  // namespace voka::platform::ole32
