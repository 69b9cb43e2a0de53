// Updating the resources of a module file for POSIX hosts: BeginUpdateResourceW, UpdateResourceW
// and EndUpdateResourceW. The updater keeps everything of the module that is not its resources.
//
// How the new file is laid out (the rules in full are in platform/pe/resource_update_plan.h):
//  - the resource section is resized where it stands when it is the last section, or when only
//    sections that nothing addresses directly follow it (.reloc, and discardable sections such as
//    debug information): those move behind it with their headers, data directories and file
//    offsets updated, so the file grows or shrinks by the change of the resources only;
//  - otherwise the new resources go into a new last section ".rsrc" and the old section stays in
//    place, unused; a module without resources gets a new section. Later updates then resize that
//    section, so repeated updates never make the module grow without bound;
//  - every other section keeps its bytes; the overlay (bytes behind the last section: installer
//    payloads) stays at the end of the file, and the COFF symbol table stays valid
//    (PointerToSymbolTable follows it);
//  - a certificate table cannot stay valid: its data directory entry is zeroed and its bytes are
//    dropped;
//  - SizeOfImage, SizeOfInitializedData and the resource data directory are updated, alignments
//    kept, and the checksum recomputed when the module had one.
// The resource directory is written as Windows tools write it: entries sorted, string names
// upper-case, each resource's data 8-byte aligned.
#pragma once

#include "voka/posix/types.h"

// Windows: starts an update of the resources of the module file `file_name` and returns its
// handle, or NULL with the last error. With `delete_existing_resources` TRUE the update starts
// from no resources at all; with FALSE from the module's own.
// Failures: ERROR_FILE_NOT_FOUND (2), ERROR_PATH_NOT_FOUND (3) for a missing folder on the path,
// ERROR_ACCESS_DENIED (5) for a directory or a file the caller may not write,
// ERROR_SHARING_VIOLATION (32) when the file is open through CreateFileW for writing or with a
// share mode that does not allow reading, ERROR_BAD_EXE_FORMAT (193) for a file that is not a PE
// module or is truncated inside its headers or sections (or whose COFF symbol table pointer leads
// outside the file), ERROR_INVALID_DATA (13) for a malformed resource directory. The file stays
// open, and held against writers through CreateFileW, until EndUpdateResourceW. Here: update
// handles are not kernel objects; only EndUpdateResourceW releases them.
HANDLE WINAPI BeginUpdateResourceW(LPCWSTR file_name, BOOL delete_existing_resources);

// Windows: adds the resource `type`/`name`/`language` with the `size` bytes at `data` (copied
// now), replacing the data of one that exists; with `data` NULL and `size` 0 it deletes the
// resource instead, and deleting one that does not exist succeeds and changes nothing. Type and
// name are integer resources (MAKEINTRESOURCEW) or strings; strings are stored upper-cased
// ("myType" joins an existing "MYTYPE") and match the module's names without regard to case. A
// resource of length zero (non-NULL `data`, `size` 0) is a resource like any other and survives
// later updates. Failures: ERROR_INVALID_HANDLE for an unknown update handle;
// ERROR_INVALID_PARAMETER for a NULL type or name, an empty name, a name longer than 65535 UTF-16
// units or one with no UTF-16 form, or NULL `data` with a non-zero `size`.
// Here, as in FindResourceExW, a string "#" followed by decimal digits is that integer ("#10" is
// RT_RCDATA), so that what is written under a name is found under the same name.
BOOL WINAPI UpdateResourceW(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data,
                            DWORD size);

// Windows: ends the update: with `discard` TRUE nothing is written; with FALSE the module file is
// rewritten with the new resources. The handle is released whether the call succeeds or fails.
// The module is never left half-written: the new file is written completely beside it (a hidden
// file named after it, in its folder), flushed to disk and renamed over the module only when every
// step succeeded, keeping the module's mode (and, where permitted, its owner). On any failure, on
// discard, or when the process dies midway, the module is byte-identical to what it was (a dead
// process may leave the hidden file behind). When no update changed anything, the module is not
// rewritten. The module is replaced, not rewritten in place: other hard links to it keep the old
// content, and a symbolic link is followed (the file it names is replaced).
// Failures (the module untouched): ERROR_INVALID_HANDLE for an unknown update handle;
// ERROR_INSUFFICIENT_BUFFER (122) when a new resource section is needed and the headers have no
// room for another section header (the header area is a buffer too small for the change);
// ERROR_FILE_TOO_LARGE (223) when the module would pass 4 GiB of addresses or file offsets;
// ERROR_NOT_SUPPORTED (50) when the layout keeps the update from keeping the module valid (data
// that stays in place refers by file offset to bytes that would move); ERROR_SHARING_VIOLATION
// (32) when the module was changed or replaced on disk since BeginUpdateResourceW; errors of the
// file system (ERROR_ACCESS_DENIED for a folder the caller may not write, ERROR_DISK_FULL, ...).
// Windows keeps a module it reads from being truncated; POSIX cannot, so a module truncated by
// another program during the update may make the update fault.
BOOL WINAPI EndUpdateResourceW(HANDLE update, BOOL discard);
