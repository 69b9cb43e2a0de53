// The registry for POSIX hosts: keys and values under the predefined keys, with the observable
// behaviour of the Windows registry functions that the system calls.
//
// Storage: one SQLite database shared by every process of the user, at the path named by the
// environment variable VOKA_REGISTRY, or else $XDG_DATA_HOME/voka/registry.db (by default
// ~/.local/share/voka/registry.db); the folder and the database are created on first use. The
// variable is read on every call that starts from a predefined key, so a program (a test, say)
// may point the registry elsewhere between calls; a handle keeps the database it was opened in.
//
// Every function is one transaction: it happens completely or not at all, also when the process
// is killed in the middle. Threads and processes may use the registry at the same time; a writer
// waits up to 10 seconds for another writer to finish, then fails with ERROR_BUSY. Durability:
// a change is in the database once its function returns and survives the end of the process; the
// database runs in write-ahead-log mode with "synchronous=NORMAL", so after a power loss or an
// operating-system crash the last changes may be lost, but the registry is consistent (Windows
// also writes its hives lazily). A forked child process opens the database anew on its first
// call (an SQLite connection must not cross fork()), also for handles it inherited.
//
// Storage errors: a file that is not a registry database, or that SQLite finds corrupt, gives
// ERROR_BADDB (the file is left as it is); a read-only database file can be read, and changes
// fail with ERROR_ACCESS_DENIED, as does opening one whose folder is read-only too (the log files
// cannot be made); a folder that cannot be created or a file that cannot be read or written gives
// ERROR_ACCESS_DENIED when the system refuses the access, else ERROR_REGISTRY_IO_FAILED; a full
// disk ERROR_DISK_FULL; data above SQLite's limit of 1 GB ERROR_OUTOFMEMORY.

// Names: key and value names compare without regard to case and keep the case they were created
// with (a later write with other case changes neither the name nor the position of the item).
// Case is folded by the Unicode simple upper-case mapping of the Basic Multilingual Plane, UTF-16
// unit by unit, as Windows folds with its upper-case table; characters beyond it compare exactly.
// Names are limited as on Windows, in UTF-16 units: a key name (one path component) to 255, a
// value name to 16383. Key names cannot contain a backslash, which separates the components of a
// path; value names may. A name must be Unicode text: a wide character that is a surrogate or
// above U+10FFFF makes a creating call fail with ERROR_INVALID_PARAMETER and finds nothing in a
// looking-up call.
//
// Order: RegEnumKeyExW lists sub keys in the order of their folded names (UTF-16 unit order),
// RegEnumValueW lists values in the order in which they were created, as Windows does.
//
// Wide characters are wchar_t, 4 bytes here and 2 on Windows: every size rule of a string value
// ("the data ends with a 0 character", "an even size") counts in units of sizeof(wchar_t). The
// database holds string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_LINK) as UTF-16, as
// Windows does, and converts at the call, so sizes reported here are sizeof(wchar_t) times the
// number of characters; string data that is not a whole number of valid characters (a size that is
// not a multiple of sizeof(wchar_t), a surrogate or a value above U+10FFFF) is kept byte for byte
// and given back unchanged. Every other type is stored as the bytes given.
//
// Predefined keys: HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes, as on Windows
// without per-user classes (Windows also merges HKEY_CURRENT_USER\Software\Classes into it);
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_CONFIG are separate trees
// (on Windows the first is a key of HKEY_USERS and the last one of HKEY_LOCAL_MACHINE). The other
// predefined keys (HKEY_PERFORMANCE_DATA, ...) are not supported: ERROR_INVALID_HANDLE.
// A new database has the keys HKEY_LOCAL_MACHINE\Software, HKEY_LOCAL_MACHINE\Software\Classes
// and HKEY_CURRENT_USER\Software. The trees' roots and the two keys under HKEY_LOCAL_MACHINE
// cannot be deleted (ERROR_ACCESS_DENIED), as hive roots cannot on Windows. Only the 64-bit view
// exists: KEY_WOW64_32KEY and KEY_WOW64_64KEY are accepted and change nothing.
//
// Access: a handle has the access rights it was opened with (GENERIC_READ, GENERIC_WRITE,
// GENERIC_ALL and MAXIMUM_ALLOWED map to KEY_READ, KEY_WRITE and KEY_ALL_ACCESS; a predefined
// key has every right). Reading values and RegQueryInfoKeyW need KEY_QUERY_VALUE, listing sub
// keys KEY_ENUMERATE_SUB_KEYS, changing values KEY_SET_VALUE; without the right the call fails
// with ERROR_ACCESS_DENIED. As on Windows, the rights of a parent handle do not matter for opening,
// creating or deleting keys below it. There are no security descriptors: every key may be opened
// with any rights. Volatile keys, symbolic links and notifications do not exist here.
//
// A handle whose key was deleted (through any handle, by any process) stays valid until closed;
// every call through it except RegCloseKey fails with ERROR_KEY_DELETED.
//
// Results: the functions return the Win32 error code (ERROR_SUCCESS on success) and leave the
// last error alone, as on Windows. They never throw; a failed allocation gives
// ERROR_NOT_ENOUGH_MEMORY. Every function may be called from any thread.
#pragma once

#include "voka/posix/kernel.h"  // LPSECURITY_ATTRIBUTES
#include "voka/posix/types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using ACCESS_MASK = DWORD;
using REGSAM = ACCESS_MASK;

// The predefined keys: fixed handle values that are always open.
#define HKEY_CLASSES_ROOT                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000000u))))
#define HKEY_CURRENT_USER                                                                          \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001u))))
#define HKEY_LOCAL_MACHINE                                                                         \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002u))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000003u))))
#define HKEY_CURRENT_CONFIG                                                                        \
    (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000005u))))

// Standard and generic access rights.
#ifndef DELETE
#define DELETE (static_cast<DWORD>(0x00010000u))
#endif
#ifndef READ_CONTROL
#define READ_CONTROL (static_cast<DWORD>(0x00020000u))
#endif
#ifndef WRITE_DAC
#define WRITE_DAC (static_cast<DWORD>(0x00040000u))
#endif
#ifndef WRITE_OWNER
#define WRITE_OWNER (static_cast<DWORD>(0x00080000u))
#endif
#ifndef SYNCHRONIZE
#define SYNCHRONIZE (static_cast<DWORD>(0x00100000u))
#endif
#ifndef STANDARD_RIGHTS_REQUIRED
#define STANDARD_RIGHTS_REQUIRED (static_cast<DWORD>(0x000F0000u))
#endif
#ifndef STANDARD_RIGHTS_READ
#define STANDARD_RIGHTS_READ READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_WRITE
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#endif
#ifndef STANDARD_RIGHTS_ALL
#define STANDARD_RIGHTS_ALL (static_cast<DWORD>(0x001F0000u))
#endif
#ifndef MAXIMUM_ALLOWED
#define MAXIMUM_ALLOWED (static_cast<DWORD>(0x02000000u))
#endif
#ifndef GENERIC_READ
#define GENERIC_READ (static_cast<DWORD>(0x80000000u))
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE (static_cast<DWORD>(0x40000000u))
#endif
#ifndef GENERIC_EXECUTE
#define GENERIC_EXECUTE (static_cast<DWORD>(0x20000000u))
#endif
#ifndef GENERIC_ALL
#define GENERIC_ALL (static_cast<DWORD>(0x10000000u))
#endif

// Key access rights.
#define KEY_QUERY_VALUE (static_cast<DWORD>(0x0001u))
#define KEY_SET_VALUE (static_cast<DWORD>(0x0002u))
#define KEY_CREATE_SUB_KEY (static_cast<DWORD>(0x0004u))
#define KEY_ENUMERATE_SUB_KEYS (static_cast<DWORD>(0x0008u))
#define KEY_NOTIFY (static_cast<DWORD>(0x0010u))
#define KEY_CREATE_LINK (static_cast<DWORD>(0x0020u))
#define KEY_WOW64_64KEY (static_cast<DWORD>(0x0100u))
#define KEY_WOW64_32KEY (static_cast<DWORD>(0x0200u))
#define KEY_READ (static_cast<DWORD>(0x20019u))
#define KEY_WRITE (static_cast<DWORD>(0x20006u))
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS (static_cast<DWORD>(0xF003Fu))

// Value types. The registry stores any 32-bit type; these are the named ones.
#define REG_NONE (static_cast<DWORD>(0u))
#define REG_SZ (static_cast<DWORD>(1u))
#define REG_EXPAND_SZ (static_cast<DWORD>(2u))
#define REG_BINARY (static_cast<DWORD>(3u))
#define REG_DWORD (static_cast<DWORD>(4u))
#define REG_DWORD_LITTLE_ENDIAN (static_cast<DWORD>(4u))
#define REG_DWORD_BIG_ENDIAN (static_cast<DWORD>(5u))
#define REG_LINK (static_cast<DWORD>(6u))
#define REG_MULTI_SZ (static_cast<DWORD>(7u))
#define REG_RESOURCE_LIST (static_cast<DWORD>(8u))
#define REG_FULL_RESOURCE_DESCRIPTOR (static_cast<DWORD>(9u))
#define REG_RESOURCE_REQUIREMENTS_LIST (static_cast<DWORD>(10u))
#define REG_QWORD (static_cast<DWORD>(11u))
#define REG_QWORD_LITTLE_ENDIAN (static_cast<DWORD>(11u))

// Options of RegCreateKeyExW: only non-volatile keys exist here.
#define REG_OPTION_RESERVED (static_cast<DWORD>(0u))
#define REG_OPTION_NON_VOLATILE (static_cast<DWORD>(0u))

// Dispositions reported by RegCreateKeyExW.
#define REG_CREATED_NEW_KEY (static_cast<DWORD>(1u))
#define REG_OPENED_EXISTING_KEY (static_cast<DWORD>(2u))

// Windows: opens the key `sub_key` below `key` with the rights `desired` and stores a new handle
// in `*result` (set to NULL first, and left NULL on failure). A NULL or empty `sub_key` gives a new
// handle to `key` itself; for a predefined key it gives the predefined handle itself. `sub_key` is
// a path of names separated by backslashes; trailing and repeated backslashes are ignored, a
// leading one fails with ERROR_BAD_PATHNAME (below HKEY_CLASSES_ROOT one leading backslash is
// skipped, as on Windows). `options` must be 0.
// Failures: NULL `result` or other options ERROR_INVALID_PARAMETER; a bad `key`
// ERROR_INVALID_HANDLE; a missing key ERROR_FILE_NOT_FOUND; a component longer than 255 UTF-16
// units ERROR_INVALID_PARAMETER; `key` deleted ERROR_KEY_DELETED.
LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM desired,
                             PHKEY result);

// Windows: opens the key `sub_key` below `key`, creating it and every missing key on its path,
// and stores a new handle with the rights `desired` in `*result` (NULL on failure). A NULL or
// empty `sub_key` opens `key` itself. `*disposition`, when given, becomes REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. `class_name` (may be NULL) is stored with each key that is created and
// reported by RegQueryInfoKeyW and RegEnumKeyExW. `reserved` is ignored. Paths as RegOpenKeyExW.
// Only REG_OPTION_NON_VOLATILE exists: other options (volatile keys, links, backup) fail with
// ERROR_INVALID_PARAMETER. `security_attributes` may be given only without a security descriptor
// (there are none here): else ERROR_INVALID_PARAMETER.
// Failures: NULL `result` ERROR_BADKEY (as Windows reports it); otherwise as RegOpenKeyExW, with
// ERROR_INVALID_PARAMETER for a name that cannot be created.
LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name,
                               DWORD options, REGSAM desired,
                               LPSECURITY_ATTRIBUTES security_attributes, PHKEY result,
                               LPDWORD disposition);

// Windows: closes a handle. Closing a predefined key succeeds and changes nothing. A NULL, closed
// or unknown handle gives ERROR_INVALID_HANDLE.
LSTATUS WINAPI RegCloseKey(HKEY key);

// Windows: deletes the key `sub_key` below `key` (an empty `sub_key` deletes `key` itself), with
// its values. A key that has sub keys is not deleted: ERROR_ACCESS_DENIED, as on Windows, as for
// the predefined trees' roots. Handles still open to the deleted key get ERROR_KEY_DELETED.
// Failures: NULL `sub_key` ERROR_INVALID_PARAMETER; a missing key ERROR_FILE_NOT_FOUND; others as
// RegOpenKeyExW.
LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key);

// Windows: deletes the value `value_name` of `key` (NULL or empty: the key's default value).
// Needs KEY_SET_VALUE. A missing value gives ERROR_FILE_NOT_FOUND.
LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name);

// Windows: the name of sub key number `index` (from 0, in folded-name order) of `key`.
// `*name_size` is the size of `name` in wide characters, the terminating 0 included; on success
// it becomes the name's length without the 0. A name that does not fit gives ERROR_MORE_DATA and
// leaves `*name_size` and `name` unchanged. `class_name` and `*class_size` (needed together)
// work the same way for the key's class; `last_write_time`, when given, receives the time of the
// key's last change. An index past the last sub key gives ERROR_NO_MORE_ITEMS. Needs
// KEY_ENUMERATE_SUB_KEYS. NULL `name` or `name_size`, a non-NULL `reserved`, or `class_name`
// without `class_size` give ERROR_INVALID_PARAMETER.
LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size,
                             LPDWORD reserved, LPWSTR class_name, LPDWORD class_size,
                             FILETIME* last_write_time);

// Windows: the name, type and data of value number `index` (from 0, in creation order) of `key`.
// `*name_size` is the size of `name` in wide characters with the 0; on success it becomes the
// name's length. `type` and `data` may be NULL; `*data_size` is the size of `data` in bytes and
// becomes the data's size. When the name does not fit, the result is ERROR_MORE_DATA, `name` and
// `*name_size` are unchanged, and `*type` and `*data_size` (the size needed) are set. When only
// the data does not fit, the result is ERROR_MORE_DATA, the name is stored and `*data_size`
// becomes the size needed; the data buffer is not written. An index past the last value gives
// ERROR_NO_MORE_ITEMS. Needs KEY_QUERY_VALUE. NULL `name` or `name_size`, a non-NULL
// `reserved`, or `data` without `data_size` give ERROR_INVALID_PARAMETER.
LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR value_name, LPDWORD name_size,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD data_size);

// Windows: facts about `key`; every out pointer may be NULL. `class_name` with `*class_size`
// (in wide characters with the 0) receives the class; too small a buffer gives ERROR_MORE_DATA
// with `*class_size` set to the class's length and the buffer unchanged, and a size of 0 gives
// success with `*class_size` 0 (Windows does the same). Lengths of names are in wide characters
// without the 0, the longest data in bytes. The longest lengths are those Windows keeps: they
// grow with each new name or larger data and fall back to 0 only when the key has no sub keys
// (respectively no values) left. The key has no security descriptor here: its size is 0.
// Needs KEY_QUERY_VALUE. A non-NULL `reserved`, or `class_name` without `class_size`, give
// ERROR_INVALID_PARAMETER.
LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_size, LPDWORD reserved,
                                LPDWORD sub_keys, LPDWORD max_sub_key_length,
                                LPDWORD max_class_length, LPDWORD values,
                                LPDWORD max_value_name_length, LPDWORD max_value_size,
                                LPDWORD security_descriptor_size, FILETIME* last_write_time);

// Windows: the type and data of the value `value_name` of `key` (NULL or empty: the default
// value). `type` and `data` may be NULL; `*data_size` is the size of `data` in bytes and becomes
// the data's size. Data that does not fit gives ERROR_MORE_DATA with `*data_size` set to the size
// needed and the buffer unchanged. A missing value gives ERROR_FILE_NOT_FOUND; then `*data_size`
// becomes 0 when no data buffer was given, as on Windows. String data is given back as stored: no
// terminating 0 is added. Needs KEY_QUERY_VALUE. A non-NULL `reserved`, or `data` without
// `data_size`, give ERROR_INVALID_PARAMETER.
LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD data_size);

// Windows: creates or replaces the value `value_name` of `key` (NULL or empty: the default
// value) with `size` bytes of `data` of type `type` (any number). A replaced value keeps its name
// and its place in the creation order. NULL `data` with a non-zero size gives ERROR_NOACCESS, as
// on Windows; a value name longer than 16383 UTF-16 units ERROR_INVALID_PARAMETER. `reserved` is
// ignored. Needs KEY_SET_VALUE.
LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD size);
