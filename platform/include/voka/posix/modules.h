// Modules for POSIX hosts: modules loaded as data files, whose resources the resource functions
// (voka/posix/resources.h) read without running anything of them, and modules loaded to run,
// which are shared objects with an entry point.
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
// With `flags` 0, loads the module to run it, as LoadLibraryW does (below).
// Here: `file` must be NULL (else ERROR_INVALID_PARAMETER), and `flags` must be 0 or
// LOAD_LIBRARY_AS_DATAFILE (anything else fails with ERROR_NOT_SUPPORTED). Windows parses the
// resource directory only when a resource is looked up; the layer parses it here, so a module
// whose resource directory is malformed fails with ERROR_INVALID_DATA (13). Resource data outside
// the section that holds the resource directory is not found (LoadResource fails with
// ERROR_RESOURCE_DATA_NOT_FOUND); Windows tools never place it elsewhere. Windows keeps a mapped
// file from being truncated; POSIX cannot, so a file truncated by another program while it is
// loaded makes reads of its resources fault.
// The host's own modules load as data files too: an ELF64 little-endian shared object's
// ".voka_rsrc" section (written by voka-rc) is its resource section, at RVA 0; one without that
// section is a module without resources; a damaged ELF file fails with ERROR_BAD_EXE_FORMAT.
HMODULE WINAPI LoadLibraryExW(LPCWSTR file_name, HANDLE file, DWORD flags);

// ---- Modules loaded to run ----

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define ERROR_DLL_INIT_FAILED 1114L

// What GetProcAddress gives: call it through a cast to the function's own type.
using FARPROC = void (*)();

// Windows: loads the module `file_name` with the modules it imports and, the first time, calls its
// entry point with DLL_PROCESS_ATTACH; when the entry point returns FALSE the module is unloaded
// again and the call fails with ERROR_DLL_INIT_FAILED (1114). Each successful call adds one to the
// module's load count and returns the same handle; FreeLibrary takes one off. Fails with
// ERROR_MOD_NOT_FOUND (126) when the file is not there and ERROR_BAD_EXE_FORMAT (193) when it is
// not a module.
// Here: a module is a shared object, loaded with dlopen (RTLD_NOW | RTLD_LOCAL), so the modules
// it imports are its DT_NEEDED libraries. Its entry point is an extern "C" function
//     BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
// defined by the module itself. A module built with the module-entry glue (see
// voka/platform/module_entry.h) has it called as Windows does: the modules it imports first, a
// failure anywhere undoing the whole load, DLL_THREAD_ATTACH/DETACH for the layer's threads, and
// the same for libraries linked at build time (before main and at process end). Another shared
// object that exports a DllMain has it called for its own process attach and detach only; one
// without just loads. Entry points run under a process-wide loader lock, as on Windows, so an entry
// point may load other modules. A name without a slash is searched for as dlopen searches (the
// executable's run path, LD_LIBRARY_PATH, the system folders), which stands in for the Windows
// search order.
HMODULE WINAPI LoadLibraryW(LPCWSTR file_name);

// Windows: the handle of the loaded module whose file name (with or without its folder) is
// `module_name`, compared case-insensitively, without adding to its load count; NULL gives the
// executable's handle. Fails with ERROR_MOD_NOT_FOUND (126) when no such module is loaded.
// Here: modules loaded by LoadLibraryW and the shared objects loaded with them are found; a name
// matches a shared object's file name or its full path. Names compare case-insensitively in their
// ASCII letters. A shared object that the system keeps loaded after its last FreeLibrary (one the
// program links at build time, or one marked never to unload) is still found.
HMODULE WINAPI GetModuleHandleW(LPCWSTR module_name);

// Windows: the address of the function or variable that the module exports under `name`, or NULL
// with ERROR_PROC_NOT_FOUND (127); for a forwarded export, the address of the target. Fails with
// ERROR_MOD_NOT_FOUND (126) for a handle that names no loaded module. Lookup by ordinal (a
// `name` below 0x10000) is outside the subset (ERROR_NOT_SUPPORTED).
// Here: dlsym on the module, which also finds the names the modules it imports export (Windows
// looks at the module's own exports only).
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);

// Windows: stops thread attach and detach calls to the module's entry point; TRUE for a loaded
// module. Here: those calls are never made, so the function only checks the handle (FALSE with
// ERROR_INVALID_HANDLE for a handle that names no module loaded to run).
BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);

// Windows: frees a module handle from LoadLibraryExW; for a data file the mapping goes, and the
// module's resource handles and the addresses LoadResource gave become invalid. For a module
// loaded to run, takes one off its load count; the last call calls its entry point with
// DLL_PROCESS_DETACH and unloads it (dlclose). Fails with
// ERROR_MOD_NOT_FOUND (126) for a handle that names no loaded module (Windows may fault instead).
// Preserves the last error on success.
BOOL WINAPI FreeLibrary(HMODULE module);
