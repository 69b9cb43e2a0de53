// Code-page conversion, system message texts, local memory and debugger output.
#pragma once

#include "voka/posix/types.h"

// Code pages. CP_ACP and CP_OEMCP are UTF-8 on this host, so they follow every rule of
// CP_UTF8 below (as on Windows set to use UTF-8 as its ANSI code page). Any other
// number is an 8-bit or double-byte Windows code page, converted through iconv
// under the name "CP<n>" (866, 1251, 1252, 1250, 437, 932, ...), plus 20127 (ASCII),
// 20866 (KOI8-R), 21866 (KOI8-U) and 28591-28599, 28603, 28605 (ISO 8859). A number
// iconv does not know fails with ERROR_INVALID_PARAMETER, as an unknown code page
// does on Windows.
#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
#define WC_ERR_INVALID_CHARS 0x00000080u

// Windows: converts `length` bytes of `code_page` text to wide characters; -1 means
// zero-terminated, and then the terminating NUL is converted and counted too. With
// `wide_size` 0 returns the number of wide characters needed; otherwise writes the
// characters and returns their count, or fails with ERROR_INSUFFICIENT_BUFFER when
// they do not fit in `wide_size` (the buffer's content is then undefined). The size
// query and the conversion always agree. Explicit lengths convert embedded NULs.
//
// Wide characters are UTF-32 here: one wchar_t per code point, never surrogate pairs.
// Invalid input becomes U+FFFD, unless MB_ERR_INVALID_CHARS is given, which fails with
// ERROR_NO_UNICODE_TRANSLATION. Invalid UTF-8 includes overlong forms, encoded
// surrogates and values above U+10FFFF; each maximal ill-formed subpart of the input
// (a lead byte with the continuation bytes that were valid so far, or a lone byte)
// becomes one U+FFFD, as Unicode recommends. In the iconv code pages a byte sequence
// that iconv rejects is invalid, one byte at a time; Windows' own tables map a few
// bytes that the code pages leave undefined (0x81 in 1252, for example) to C1
// controls instead.
//
// Fails with ERROR_INVALID_PARAMETER for a null `text`, a `length` of 0 or below -1,
// a negative `wide_size`, a null `wide` with a non-zero `wide_size`, `text` and
// `wide` being the same buffer, or an unknown code page; and with ERROR_INVALID_FLAGS
// for flags other than MB_ERR_INVALID_CHARS (UTF-8) or MB_PRECOMPOSED and
// MB_ERR_INVALID_CHARS (other code pages; 8-bit text is always precomposed here).
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCCH text, int length, LPWSTR wide,
                               int wide_size);

// Windows: the mirror image of MultiByteToWideChar for wide input (`length` -1: up to
// and including the terminating NUL), with the same size rules and argument checks.
//
// UTF-8: a wide value that is not a Unicode scalar value (a surrogate, above
// U+10FFFF or negative) becomes the encoding of U+FFFD, unless WC_ERR_INVALID_CHARS
// is given, which fails with ERROR_NO_UNICODE_TRANSLATION. Windows requires
// `default_char` and `used_default_char` to be null here (ERROR_INVALID_PARAMETER
// otherwise) and accepts no flag but WC_ERR_INVALID_CHARS (ERROR_INVALID_FLAGS).
//
// Other code pages: a character the code page cannot hold (invalid wide values
// included) becomes the first byte of `default_char`, or the code page's encoding
// of '?' when `default_char` is null; `*used_default_char`, when given, is set to
// TRUE when that happened and FALSE otherwise (written on success, also by the size
// query). There is no best-fit mapping ("A" for U+0100, which Windows applies unless
// WC_NO_BEST_FIT_CHARS is given): every conversion behaves as with that flag, and
// it is the only flag accepted (ERROR_INVALID_FLAGS otherwise, WC_ERR_INVALID_CHARS
// included, as on Windows).
int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWCH wide, int length, LPSTR text,
                               int text_size, LPCCH default_char, LPBOOL used_default_char);

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

// Windows: the subset FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
// FORMAT_MESSAGE_ALLOCATE_BUFFER, exactly; any other flag combination, or a null
// `buffer`, fails with ERROR_INVALID_PARAMETER. `buffer` is then really a LPWSTR*:
// it is set to null first and, on success, receives a LocalAlloc'ed, NUL-terminated
// text of at least `size` wide characters, to be freed with LocalFree. The result is
// the text's length without the NUL; 0 on failure. `source` and `arguments` are
// ignored, as Windows ignores them for this combination.
//
// The text of a code is the host's own description (strerror) of the errno value the
// code corresponds to, followed by CR LF as every Windows system message is;
// ERROR_SUCCESS gives the host's text for errno 0. The host text is taken as UTF-8,
// like every narrow text on this host. A code without a corresponding errno fails
// with ERROR_MR_MID_NOT_FOUND, as a code without a system message does on Windows.
//
// Languages: 0 and LANG_NEUTRAL with any sublanguage (user and system default) give
// the text in the calling thread's locale; LANG_ENGLISH with any sublanguage gives
// the host's untranslated text (its "C" locale); any other language fails with
// ERROR_RESOURCE_LANG_NOT_FOUND, as Windows does for a language it has no message
// table in.
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, va_list_ptr arguments);

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// Windows: allocates a fixed block of `bytes` bytes (zeroed with LMEM_ZEROINIT) and
// returns its address; a size of 0 still gives a distinct block. Only LMEM_FIXED and
// LMEM_ZEROINIT are supported (movable blocks are not): other flags fail with
// ERROR_INVALID_PARAMETER. Fails with NULL and ERROR_NOT_ENOUGH_MEMORY.
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);

// Windows: frees a LocalAlloc'ed block and returns NULL (also for NULL). Windows
// detects some foreign pointers and returns them with ERROR_INVALID_HANDLE; here a
// pointer that LocalAlloc did not return is undefined behaviour.
HLOCAL WINAPI LocalFree(HLOCAL memory);

// Windows: sends a text to an attached debugger; without one nothing happens. Here
// the listener is named by the environment variable VOKA_DEBUG_OUTPUT, read on every
// call: "stderr" for the standard error stream, or a file path (created if needed,
// appended to). Unset or empty, the text is discarded. The last error and errno are
// left unchanged, and failures to write are ignored, as on Windows.
//
// Each call's whole text goes out with one write(), under a process-wide lock, so
// texts of concurrent callers never interleave (writes to files opened by several
// processes rely on O_APPEND). A null text writes nothing. The wide text is written
// as UTF-8 (invalid values as U+FFFD); the narrow text is taken as UTF-8 (CP_ACP) and
// written byte for byte.
//
// While a voka::platform::t_debug_output_capture (voka/platform/debug_output_capture.h)
// is alive, texts go to the captures instead of the listener.
void WINAPI OutputDebugStringW(LPCWSTR text);
void WINAPI OutputDebugStringA(LPCSTR text);
