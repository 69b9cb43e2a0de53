// Modules for POSIX hosts. Here: modules loaded as data files, whose resources the resource
// functions (voka/posix/resources.h) read without running anything of them.
#pragma once

#include "voka/posix/types.h"

// ---- Modules loaded as data files ----

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u

// Windows: with LOAD_LIBRARY_AS_DATAFILE, maps the module file `file_name` read-only for its
// resources, without running anything of it and without resolving imports; a 32-bit module loads
// so in a 64-bit process and the reverse. Returns the module's handle (each call a handle of its
// own, to be freed with FreeLibrary) or NULL with the last error:
// ERROR_FILE_NOT_FOUND (2) for a missing file, also when a folder on the path is missing and for
// a directory (as Windows reports them); ERROR_ACCESS_DENIED (5) for a file the caller may not
// read; ERROR_BAD_EXE_FORMAT (193) for a file that is not a PE module or is truncated inside its
// headers or sections. FindResourceExW, LoadResource, LockResource and SizeofResource then work
// on the handle; resource data is found through the section table (an RVA in a section's file
// data), and LoadResource returns an address in the mapped file.
// Here: `file` must be NULL (else ERROR_INVALID_PARAMETER), and `flags` must be
// LOAD_LIBRARY_AS_DATAFILE (anything else fails with ERROR_NOT_SUPPORTED). Windows parses the
// resource directory only when a resource is looked up; the layer parses it here, so a module
// whose resource directory is malformed fails with ERROR_INVALID_DATA (13). Resource data outside
// the section that holds the resource directory is not found (LoadResource fails with
// ERROR_RESOURCE_DATA_NOT_FOUND); Windows tools never place it elsewhere. Windows keeps a mapped
// file from being truncated; POSIX cannot, so a file truncated by another program while it is
// loaded makes reads of its resources fault.
HMODULE WINAPI LoadLibraryExW(LPCWSTR file_name, HANDLE file, DWORD flags);

// Windows: frees a module handle from LoadLibraryExW; for a data file the mapping goes, and the
// module's resource handles and the addresses LoadResource gave become invalid. Fails with
// ERROR_MOD_NOT_FOUND (126) for a handle that names no loaded module (Windows may fault instead).
// Preserves the last error on success.
BOOL WINAPI FreeLibrary(HMODULE module);
