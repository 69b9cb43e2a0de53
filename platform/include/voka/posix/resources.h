// Finding and loading the resources of a module.
//
// The layer knows a module's resources when the module is registered with it: data-file and
// library modules by their loaders, modules held in memory by voka::platform::
// register_resource_module (voka/platform/resource_module.h). A NULL module stands for the
// process's executable, as on Windows; while no loader has registered the executable's resources,
// it is a module without a resource section.
#pragma once

#include "voka/posix/types.h"

#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

// Windows: finds a resource of `module` by type, name and language and returns a handle to it,
// valid while the module stays loaded; NULL with the last error on failure.
// Type and name are integer resources (MAKEINTRESOURCEW, IS_INTRESOURCE) or strings. A string "#"
// followed by decimal digits is that integer ("#01" is 1); a string of digits without "#" ("10")
// is a name; names compare case-insensitively. Here case is folded by the simple upper-case
// mapping of the Latin, Greek, Cyrillic and Armenian letters (other characters compare as they
// are), and a "#" followed by anything but decimal digits of a value up to 65535 fails with
// ERROR_INVALID_PARAMETER.
// A non-zero language must match exactly. Language 0 falls back in Windows' order: neutral (0),
// the user's default language and then its primary language, English (0x0409, then 0x0009), then
// the first language present. The user's default language comes from the first non-empty of
// LC_ALL, LC_MESSAGES and LANG, read at each call ("ru_RU.UTF-8" is 0x0419, "C" and "POSIX" name
// none).
// Failures: ERROR_RESOURCE_TYPE_NOT_FOUND (1813), ERROR_RESOURCE_NAME_NOT_FOUND (1814),
// ERROR_RESOURCE_LANG_NOT_FOUND (1815); ERROR_RESOURCE_DATA_NOT_FOUND (1812) for a module without a
// resource section, as Windows reports it; ERROR_INVALID_HANDLE for a module the layer does not
// know (Windows would fault on such a handle).
HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);

// Windows: a handle to the data of `resource`, a handle FindResourceExW returned for `module`: the
// address of the data, valid while the module stays loaded (LockResource returns it as it is).
// Fails with NULL and ERROR_RESOURCE_DATA_NOT_FOUND when the resource's bytes lie outside the
// module's image, as the Windows loader reports it. Here the handles are checked: a module the
// layer does not know, or a resource that is not one of the module's, fails with
// ERROR_INVALID_HANDLE (Windows would trust them).
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);

// Windows: the address of the loaded resource's bytes: `resource_data` itself, NULL for NULL.
// Never sets the last error.
LPVOID WINAPI LockResource(HGLOBAL resource_data);

// Windows: the size in bytes of the resource's data, as its data entry records it. Failures
// return 0 with the last error, as LoadResource checks the handles; a successful call leaves the
// last error alone, so a caller that must tell an empty resource from a failure clears it first.
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
