// Files for POSIX hosts: CreateFileW, ReadFile, WriteFile and GetFileSize, with the access rights,
// creation dispositions, share modes and error codes of their Windows counterparts. A file handle
// is a kernel object: CloseHandle (voka/posix/kernel.h) closes it.
//
// Paths are taken as they are, converted to UTF-8: on POSIX they are POSIX paths ('/' separates
// folders, a backslash is an ordinary character). A path with a character that has no UTF-8 form
// fails with ERROR_INVALID_NAME.
//
// Share modes: Windows refuses an open whose access another open's share mode denies, or whose
// share mode denies the access of an open already there (ERROR_SHARING_VIOLATION); share mode 0
// means exclusive. POSIX has no such thing, so the layer builds it from open file description
// locks (F_OFD_SETLK) on bytes far beyond any file's end: each open that reads or writes holds a
// shared lock on a byte that says so ("reading", "writing"), and one on a byte for each access it
// denies to others ("denies reading", "denies writing"); an open checks the opposite bytes
// (F_OFD_GETLK) after taking its own, so of two conflicting opens at least one fails, even when
// they race (both may fail then, where Windows lets one win). The locks are advisory: they bind
// every open made through this layer, in this process and others, but not programs that open the
// file without it. FILE_SHARE_DELETE is accepted and has no effect: POSIX lets anyone unlink a
// file. An open without read or write access (access 0) neither checks nor holds share locks, as
// on Windows. A handle with write access only, on a file the caller may not read, holds no share
// locks either (the locks need a readable descriptor); its access is then unchecked.
#pragma once

#include "voka/posix/kernel.h"  // CloseHandle, LPSECURITY_ATTRIBUTES
#include "voka/posix/types.h"

#define GENERIC_READ (static_cast<DWORD>(0x80000000u))
#define GENERIC_WRITE (static_cast<DWORD>(0x40000000u))

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFFu))

// Overlapped (asynchronous) I/O is outside the subset: the type exists for the signatures only.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// Windows: opens or creates the file `file_name` and returns a handle to it, or
// INVALID_HANDLE_VALUE with the last error.
// `desired_access`: GENERIC_READ, GENERIC_WRITE, both, or 0 (no data access). Other rights fail
// with ERROR_NOT_SUPPORTED.
// `share_mode`: FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE or a combination; 0 is
// exclusive (see the top of this header). Other bits fail with ERROR_INVALID_PARAMETER.
// `creation_disposition`:
//   CREATE_NEW        creates; fails with ERROR_FILE_EXISTS (80) when the file exists.
//   CREATE_ALWAYS     creates, or truncates the existing file and sets the last error to
//                     ERROR_ALREADY_EXISTS (183) although it succeeds.
//   OPEN_EXISTING     opens; fails when the file does not exist.
//   OPEN_ALWAYS       opens, or creates; an existing file sets ERROR_ALREADY_EXISTS.
//   TRUNCATE_EXISTING opens and truncates; needs GENERIC_WRITE (else ERROR_INVALID_PARAMETER).
// Any other value fails with ERROR_INVALID_PARAMETER. Every other success sets the last error to
// 0. Sharing is checked before anything is truncated: an open that fails with
// ERROR_SHARING_VIOLATION leaves the file as it is.
// Failures: ERROR_FILE_NOT_FOUND (2) for a missing file; ERROR_PATH_NOT_FOUND (3) for a missing
// folder on the path (or an empty path); ERROR_ACCESS_DENIED (5) for a directory or a file the
// caller may not open so; ERROR_SHARING_VIOLATION (32); ERROR_WRITE_PROTECT (19) on a read-only
// file system.
// Here: no security descriptor and no inheritable handle (security attributes that ask for either
// fail with ERROR_NOT_SUPPORTED), flags and attributes 0 or FILE_ATTRIBUTE_NORMAL only (others
// fail with ERROR_NOT_SUPPORTED), no template file (ERROR_NOT_SUPPORTED). New files get the mode
// 0666 less the process's umask.
HANDLE WINAPI CreateFileW(LPCWSTR file_name, DWORD desired_access, DWORD share_mode,
                          LPSECURITY_ATTRIBUTES security_attributes, DWORD creation_disposition,
                          DWORD flags_and_attributes, HANDLE template_file);

// Windows: reads up to `bytes_to_read` bytes at the handle's file position into `buffer` and
// advances the position; `*bytes_read` (set to 0 before anything else) receives the count. At the
// end of the file it succeeds with fewer bytes, or 0. Failures: ERROR_INVALID_HANDLE for anything
// but a file handle; ERROR_ACCESS_DENIED for a handle without GENERIC_READ; ERROR_NOACCESS for a
// null buffer with a non-zero count; ERROR_INVALID_PARAMETER for a null `bytes_read`. Here:
// synchronous I/O only, `overlapped` must be NULL (else ERROR_NOT_SUPPORTED).
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read,
                     LPOVERLAPPED overlapped);

// Windows: writes `bytes_to_write` bytes from `buffer` at the handle's file position and advances
// it; `*bytes_written` (set to 0 first) receives the count, which is less than asked only when the
// call fails (ERROR_DISK_FULL, say). Failures as ReadFile, with GENERIC_WRITE for access.
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
                      LPOVERLAPPED overlapped);

// Windows: the file's size: returns its low 32 bits and stores the high 32 bits in
// `*file_size_high` when that is not NULL (without it, a size of 4 GiB or more loses its high
// part). Fails with INVALID_FILE_SIZE and the last error (ERROR_INVALID_HANDLE for anything but a
// file handle). Because INVALID_FILE_SIZE is also the low part of some sizes, a success whose low
// part is 0xFFFFFFFF sets the last error to NO_ERROR; a caller tells the two apart by the last
// error.
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD file_size_high);
