// Code-page conversion, system message texts, local memory and debugger output.
#pragma once

#include "voka/posix/types.h"

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u

// Windows: converts `length` bytes (-1: up to and including the terminating NUL) of
// `code_page` text to wide characters. With `wide_size` 0 returns the size needed;
// otherwise writes at most `wide_size` characters and returns the count written, or
// 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit. Invalid input becomes
// U+FFFD, unless MB_ERR_INVALID_CHARS is given, which fails with
// ERROR_NO_UNICODE_TRANSLATION. A length of 0 or below -1 fails with
// ERROR_INVALID_PARAMETER. Here CP_ACP is UTF-8; other code pages go through iconv.
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCCH text, int length,
                               LPWSTR wide, int wide_size);

// Windows: the mirror image of MultiByteToWideChar. Characters the code page cannot
// hold become `default_char` (or '?'), and `used_default_char`, when given, is set.
int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWCH wide, int length,
                               LPSTR text, int text_size, LPCCH default_char,
                               LPBOOL used_default_char);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

// Windows: the subset FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
// FORMAT_MESSAGE_ALLOCATE_BUFFER. `buffer` is then really a LPWSTR* that receives a
// LocalAlloc'ed text ending in CR LF; the result is its length without the NUL. A
// code the system has no text for fails with ERROR_MR_MID_NOT_FOUND; any other flag
// combination fails with ERROR_INVALID_PARAMETER. The text is the host's own
// description of the errno value the code corresponds to.
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, va_list_ptr arguments);

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
// Windows: frees a LocalAlloc'ed block; returns NULL on success (NULL input too).
HLOCAL WINAPI LocalFree(HLOCAL memory);

// Windows: sends a line to an attached debugger; without one nothing happens. Here
// the sink is named by the environment variable VOKA_DEBUG_OUTPUT ("stderr" or a
// file path, appended to); each call's text is written with one write, so lines of
// concurrent callers never interleave. The wide text is written as UTF-8.
void WINAPI OutputDebugStringW(LPCWSTR text);
void WINAPI OutputDebugStringA(LPCSTR text);
