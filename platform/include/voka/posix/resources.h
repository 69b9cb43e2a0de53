// Finding and loading the resources of a module.
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

// Windows: finds a resource by type, name and language. Type and name are integer
// resources (MAKEINTRESOURCEW) or strings; a string "#" followed by decimal digits is
// that integer, other strings compare case-insensitively. A non-zero language must
// match exactly. Language 0 falls back in Windows' order: neutral, the user's default
// language (from LC_ALL, LC_MESSAGES or LANG here) and its primary language, English
// (0x0409, then 0x0009), then the first language present. Fails with
// ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or _LANG_NOT_FOUND (1813 to 1815),
// or ERROR_INVALID_HANDLE for a module the layer does not know.
HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);

// Windows: a handle to the resource's data, valid while the module stays loaded.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);

// Windows: the address of the loaded resource's bytes.
LPVOID WINAPI LockResource(HGLOBAL resource_data);

// Windows: the size of the resource's data in bytes; 0 on failure.
DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
