// MultiByteToWideChar and WideCharToMultiByte: size rules, the terminator, invalid
// input, argument checks, and round trips through 8-bit code pages.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace std::string_literals;

namespace
{

struct t_wide_result
{
    int needed = 0;   // the size query's answer
    int written = 0;  // the conversion's answer
    DWORD error = ERROR_SUCCESS;
    std::wstring text;
};

struct t_narrow_result
{
    int needed = 0;
    int written = 0;
    DWORD error = ERROR_SUCCESS;
    std::string text;
    BOOL used_by_query = -1;  // *used_default_char after the size query
    BOOL used = -1;           // and after the conversion
};

// Size query, then conversion into a buffer of exactly that size. Checks that the
// conversion writes nothing past it.
t_wide_result to_wide(UINT code_page, DWORD flags, const std::string& bytes)
{
    t_wide_result result;
    SetLastError(ERROR_SUCCESS);
    result.needed = MultiByteToWideChar(code_page, flags, bytes.data(),
                                        static_cast<int>(bytes.size()), nullptr, 0);
    result.error = GetLastError();
    if (result.needed <= 0)
        return result;
    std::wstring buffer(static_cast<std::size_t>(result.needed) + 1, L'#');
    result.written =
        MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()),
                            buffer.data(), result.needed);
    result.error = GetLastError();
    EXPECT_EQ(buffer[static_cast<std::size_t>(result.needed)], L'#') << "wrote past the buffer";
    if (result.written > 0)
        result.text = buffer.substr(0, static_cast<std::size_t>(result.written));
    return result;
}

t_narrow_result to_narrow(UINT code_page, DWORD flags, const std::wstring& wide,
                          const char* default_char = nullptr, bool want_used = false)
{
    t_narrow_result result;
    SetLastError(ERROR_SUCCESS);
    result.needed =
        WideCharToMultiByte(code_page, flags, wide.data(), static_cast<int>(wide.size()), nullptr,
                            0, default_char, want_used ? &result.used_by_query : nullptr);
    result.error = GetLastError();
    if (result.needed <= 0)
        return result;
    std::string buffer(static_cast<std::size_t>(result.needed) + 1, '#');
    result.written = WideCharToMultiByte(
        code_page, flags, wide.data(), static_cast<int>(wide.size()), buffer.data(), result.needed,
        default_char, want_used ? &result.used : nullptr);
    result.error = GetLastError();
    EXPECT_EQ(buffer[static_cast<std::size_t>(result.needed)], '#') << "wrote past the buffer";
    if (result.written > 0)
        result.text = buffer.substr(0, static_cast<std::size_t>(result.written));
    return result;
}

std::wstring replacement(std::size_t count)
{
    return std::wstring(count, static_cast<wchar_t>(0xFFFD));
}

// ---------------------------------------------------------------- UTF-8 decoding

struct t_decode_case
{
    const char* name;
    std::string bytes;
    std::wstring expected;  // without MB_ERR_INVALID_CHARS
    bool valid;             // whether MB_ERR_INVALID_CHARS lets it pass
};

const std::vector<t_decode_case>& decode_cases()
{
    static const std::vector<t_decode_case> cases = {
        {"ascii", "abc", L"abc", true},
        {"embedded NULs", "a\0b\0"s, L"a\0b\0"s, true},
        {"two-byte", "Caf\xC3\xA9", L"Caf\u00E9", true},
        {"cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", L"Привет", true},
        {"three-byte", "\xE2\x82\xAC", L"\u20AC", true},
        {"four-byte", "\xF0\x9F\x98\x80", L"\U0001F600", true},
        {"highest scalar", "\xF4\x8F\xBF\xBF", L"\U0010FFFF", true},
        {"encoded U+FFFD is valid", "\xEF\xBF\xBD", replacement(1), true},
        {"lone continuation byte",
         "a\x80"
         "b",
         L"a" + replacement(1) + L"b", false},
        {"byte FF", "\xFF", replacement(1), false},
        {"lead byte cut off by the end", "a\xC3", L"a" + replacement(1), false},
        {"three-byte cut off, one U+FFFD",
         "\xE2\x82"
         "A",
         replacement(1) + L"A", false},
        {"four-byte cut off, one U+FFFD",
         "\xF0\x9F\x98"
         "A",
         replacement(1) + L"A", false},
        {"lead byte broken by a lead byte", "\xC3\xC3\xA9", replacement(1) + L"\u00E9", false},
        {"overlong two-byte slash", "\xC0\xAF", replacement(2), false},
        {"overlong two-byte NUL", "\xC1\x80", replacement(2), false},
        {"overlong three-byte", "\xE0\x80\xAF", replacement(3), false},
        {"overlong four-byte", "\xF0\x80\x80\xAF", replacement(4), false},
        {"encoded high surrogate", "\xED\xA0\x80", replacement(3), false},
        {"encoded low surrogate", "\xED\xBF\xBF", replacement(3), false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", replacement(4), false},
        {"lead byte F5", "\xF5\x80\x80\x80", replacement(4), false},
        {"valid text around invalid", "\xD0\x9F\xFF\xD1\x80", L"П" + replacement(1) + L"р", false},
    };
    return cases;
}

TEST(CodePageTest, DecodesUtf8WithReplacementCharacters)
{
    for (const t_decode_case& test_case : decode_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_wide_result result = to_wide(CP_UTF8, 0, test_case.bytes);
        EXPECT_EQ(result.needed, static_cast<int>(test_case.expected.size()));
        EXPECT_EQ(result.written, result.needed);
        EXPECT_EQ(result.text, test_case.expected);
    }
}

TEST(CodePageTest, FailsOnInvalidUtf8WithErrInvalidChars)
{
    for (const t_decode_case& test_case : decode_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_wide_result result = to_wide(CP_UTF8, MB_ERR_INVALID_CHARS, test_case.bytes);
        if (test_case.valid)
        {
            EXPECT_EQ(result.written, static_cast<int>(test_case.expected.size()));
            EXPECT_EQ(result.text, test_case.expected);
        }
        else
        {
            EXPECT_EQ(result.needed, 0);
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        }
    }
}

TEST(CodePageTest, AnsiAndOemCodePagesAreUtf8)
{
    for (const t_decode_case& test_case : decode_cases())
    {
        SCOPED_TRACE(test_case.name);
        EXPECT_EQ(to_wide(CP_ACP, 0, test_case.bytes).text, test_case.expected);
        EXPECT_EQ(to_wide(CP_OEMCP, 0, test_case.bytes).text, test_case.expected);
    }
    EXPECT_EQ(to_narrow(CP_ACP, 0, L"Привет").text, "Привет");
}

// ---------------------------------------------------------------- UTF-8 encoding

struct t_encode_case
{
    const char* name;
    std::wstring wide;
    std::string expected;  // without WC_ERR_INVALID_CHARS
    bool valid;
};

std::vector<t_encode_case> encode_cases()
{
    const auto unit = [](unsigned value) { return std::wstring(1, static_cast<wchar_t>(value)); };
    std::vector<t_encode_case> cases = {
        {"ascii", L"abc", "abc", true},
        {"embedded NULs", L"a\0b\0"s, "a\0b\0"s, true},
        {"two-byte", L"Caf\u00E9", "Caf\xC3\xA9", true},
        {"cyrillic", L"Привет", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", true},
        {"three-byte", L"\u20AC", "\xE2\x82\xAC", true},
        {"supplementary", L"\U0001F600", "\xF0\x9F\x98\x80", true},
        {"lone high surrogate", L"a" + unit(0xD800) + L"b",
         "a\xEF\xBF\xBD"
         "b",
         false},
        {"lone low surrogate", unit(0xDFFF), "\xEF\xBF\xBD", false},
    };
    if constexpr (sizeof(wchar_t) == 4)
    {
        // UTF-32 wide text: surrogate values are invalid even in pairs, and so is
        // anything above U+10FFFF.
        cases.push_back({"surrogate pair values", unit(0xD83D) + unit(0xDE00),
                         "\xEF\xBF\xBD\xEF\xBF\xBD", false});
        cases.push_back({"above U+10FFFF", unit(0x110000), "\xEF\xBF\xBD", false});
        cases.push_back({"negative value", unit(0xFFFFFFFFu), "\xEF\xBF\xBD", false});
    }
    return cases;
}

TEST(CodePageTest, EncodesUtf8WithReplacementCharacters)
{
    for (const t_encode_case& test_case : encode_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_narrow_result result = to_narrow(CP_UTF8, 0, test_case.wide);
        EXPECT_EQ(result.needed, static_cast<int>(test_case.expected.size()));
        EXPECT_EQ(result.written, result.needed);
        EXPECT_EQ(result.text, test_case.expected);
    }
}

TEST(CodePageTest, FailsOnInvalidWideTextWithErrInvalidChars)
{
    for (const t_encode_case& test_case : encode_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_narrow_result result = to_narrow(CP_UTF8, WC_ERR_INVALID_CHARS, test_case.wide);
        if (test_case.valid)
        {
            EXPECT_EQ(result.text, test_case.expected);
        }
        else
        {
            EXPECT_EQ(result.needed, 0);
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
        }
    }
}

// ---------------------------------------------------------------- sizes and terminator

TEST(CodePageTest, MinusOneConvertsAndCountsTheTerminator)
{
    const char* narrow = "h\xC3\xA9llo";  // 6 bytes, 5 characters
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, narrow, -1, nullptr, 0), 6);
    wchar_t wide[8];
    std::wmemset(wide, L'#', 8);
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, narrow, -1, wide, 8), 6);
    EXPECT_EQ(std::wstring(wide, 6), L"h\u00E9llo\0"s);
    EXPECT_EQ(wide[6], L'#');

    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"h\u00E9llo", -1, nullptr, 0, nullptr, nullptr), 7);
    char bytes[9];
    std::memset(bytes, '#', sizeof(bytes));
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"h\u00E9llo", -1, bytes, 9, nullptr, nullptr), 7);
    EXPECT_EQ(std::string(bytes, 7), "h\xC3\xA9llo\0"s);
    EXPECT_EQ(bytes[7], '#');
}

TEST(CodePageTest, MinusOneStopsAtTheFirstNul)
{
    const std::string narrow = "ab\0cd"s;
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, narrow.data(), -1, nullptr, 0), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, narrow.data(), 5, nullptr, 0), 5);
    const std::wstring wide = L"ab\0cd"s;
    EXPECT_EQ(WideCharToMultiByte(1251, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(1251, 0, wide.data(), 5, nullptr, 0, nullptr, nullptr), 5);
}

TEST(CodePageTest, MinusOneOnAnEmptyTextGivesTheTerminatorAlone)
{
    wchar_t wide[2] = {L'#', L'#'};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, wide, 2), 1);
    EXPECT_EQ(wide[0], L'\0');
    char narrow[2] = {'#', '#'};
    EXPECT_EQ(WideCharToMultiByte(866, 0, L"", -1, narrow, 2, nullptr, nullptr), 1);
    EXPECT_EQ(narrow[0], '\0');
}

struct t_buffer_case
{
    const char* name;
    UINT code_page;
    std::string narrow;
    std::wstring wide;
};

const std::vector<t_buffer_case>& buffer_cases()
{
    static const std::vector<t_buffer_case> cases = {
        {"utf-8 ascii", CP_UTF8, "abc", L"abc"},
        {"utf-8 multi-byte", CP_UTF8, "\xD0\x9F\xE2\x82\xAC\xF0\x9F\x98\x80", L"П€\U0001F600"},
        {"1251", 1251, "\xCF\xF0\xE8\xE2\xE5\xF2", L"Привет"},
        {"1252", 1252, "Caf\xE9", L"Café"},
    };
    return cases;
}

TEST(CodePageTest, TooSmallABufferFailsWithInsufficientBuffer)
{
    for (const t_buffer_case& test_case : buffer_cases())
    {
        SCOPED_TRACE(test_case.name);
        const int wide_size = static_cast<int>(test_case.wide.size());
        std::wstring wide(test_case.wide.size(), L'#');
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(MultiByteToWideChar(test_case.code_page, 0, test_case.narrow.data(),
                                      static_cast<int>(test_case.narrow.size()), wide.data(),
                                      wide_size - 1),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(MultiByteToWideChar(test_case.code_page, 0, test_case.narrow.data(),
                                      static_cast<int>(test_case.narrow.size()), wide.data(),
                                      wide_size),
                  wide_size);
        EXPECT_EQ(wide, test_case.wide);

        const int narrow_size = static_cast<int>(test_case.narrow.size());
        std::string narrow(test_case.narrow.size(), '#');
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(WideCharToMultiByte(test_case.code_page, 0, test_case.wide.data(), wide_size,
                                      narrow.data(), narrow_size - 1, nullptr, nullptr),
                  0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(WideCharToMultiByte(test_case.code_page, 0, test_case.wide.data(), wide_size,
                                      narrow.data(), narrow_size, nullptr, nullptr),
                  narrow_size);
        EXPECT_EQ(narrow, test_case.narrow);
    }
}

TEST(CodePageTest, MinusOneNeedsRoomForTheTerminator)
{
    wchar_t wide[3];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char narrow[3];
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// Texts longer than any internal chunk, with invalid and unmappable pieces spread
// through them: the size query and the conversion agree exactly.
TEST(CodePageTest, SizeQueryAndConversionAgreeOnLongTexts)
{
    std::string utf8;
    std::wstring wide;
    for (int index = 0; index < 3000; ++index)
    {
        utf8 += "ab\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80";
        wide += L"ab\u0416\u20AC\U0001F600\u4E2D";
        if (index % 7 == 0)
            utf8 += "\xC3";  // cut-off sequence: one U+FFFD
    }
    const t_wide_result decoded = to_wide(CP_UTF8, 0, utf8);
    EXPECT_GT(decoded.needed, 3000 * 5);
    EXPECT_EQ(decoded.written, decoded.needed);

    for (const UINT code_page : {CP_UTF8, 1251u, 866u, 1252u})
    {
        SCOPED_TRACE(code_page);
        const t_narrow_result encoded = to_narrow(code_page, 0, wide);
        EXPECT_GT(encoded.needed, 3000 * 5);
        EXPECT_EQ(encoded.written, encoded.needed);
        const t_wide_result back = to_wide(code_page, 0, encoded.text);
        EXPECT_EQ(back.written, back.needed);
    }
    EXPECT_EQ(to_wide(CP_UTF8, 0, to_narrow(CP_UTF8, 0, wide).text).text, wide);
}

// ---------------------------------------------------------------- argument checks

struct t_argument_case
{
    const char* name;
    int (*call)();
    DWORD expected_error;
};

wchar_t g_wide[16];
char g_narrow[16];
BOOL g_used = FALSE;

constexpr t_argument_case k_argument_cases[] = {
    {"MB null text", [] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, g_wide, 16); },
     ERROR_INVALID_PARAMETER},
    {"MB length 0", [] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 0, g_wide, 16); },
     ERROR_INVALID_PARAMETER},
    {"MB length -2", [] { return MultiByteToWideChar(CP_UTF8, 0, "abc", -2, g_wide, 16); },
     ERROR_INVALID_PARAMETER},
    {"MB negative size", [] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 3, g_wide, -1); },
     ERROR_INVALID_PARAMETER},
    {"MB null buffer with a size",
     [] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 16); },
     ERROR_INVALID_PARAMETER},
    {"MB same buffer",
     [] {
         return MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(g_wide), 4, g_wide,
                                    16);
     },
     ERROR_INVALID_PARAMETER},
    {"MB unknown code page", [] { return MultiByteToWideChar(12345, 0, "abc", 3, g_wide, 16); },
     ERROR_INVALID_PARAMETER},
    {"MB precomposed with UTF-8",
     [] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, g_wide, 16); },
     ERROR_INVALID_FLAGS},
    {"MB unknown flag with 1251",
     [] { return MultiByteToWideChar(1251, 0x4, "abc", 3, g_wide, 16); }, ERROR_INVALID_FLAGS},
    {"WC null text",
     [] { return WideCharToMultiByte(CP_UTF8, 0, nullptr, 3, g_narrow, 16, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC length 0",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 0, g_narrow, 16, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC length -2",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", -2, g_narrow, 16, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC negative size",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, g_narrow, -1, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC null buffer with a size",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 16, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC unknown code page",
     [] { return WideCharToMultiByte(12345, 0, L"abc", 3, g_narrow, 16, nullptr, nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC UTF-8 with a default character",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, g_narrow, 16, "*", nullptr); },
     ERROR_INVALID_PARAMETER},
    {"WC UTF-8 with used-default flag",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, g_narrow, 16, nullptr, &g_used); },
     ERROR_INVALID_PARAMETER},
    {"WC UTF-8 size query with used-default flag",
     [] { return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, &g_used); },
     ERROR_INVALID_PARAMETER},
    {"WC no-best-fit with UTF-8",
     []
     {
         return WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, L"abc", 3, g_narrow, 16, nullptr,
                                    nullptr);
     },
     ERROR_INVALID_FLAGS},
    {"WC err-invalid-chars with 1252",
     []
     {
         return WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"abc", 3, g_narrow, 16, nullptr,
                                    nullptr);
     },
     ERROR_INVALID_FLAGS},
};

TEST(CodePageTest, RejectsInvalidArguments)
{
    for (const t_argument_case& test_case : k_argument_cases)
    {
        SCOPED_TRACE(test_case.name);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(test_case.call(), 0);
        EXPECT_EQ(GetLastError(), test_case.expected_error);
    }
}

// ---------------------------------------------------------------- 8-bit code pages

struct t_round_trip_case
{
    const char* name;
    UINT code_page;
    std::string narrow;
    std::wstring wide;
};

const std::vector<t_round_trip_case>& round_trip_cases()
{
    static const std::vector<t_round_trip_case> cases = {
        {"1251 cyrillic", 1251,
         "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0! \xA8\xB8 \xC0\xDF\xE0\xFF \x88",
         L"Привет, мир! Ёё АЯая €"},
        {"866 cyrillic", 866, "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0! \xF0\xF1 \x80\x9F\xA0\xEF",
         L"Привет, мир! Ёё АЯая"},
        {"1252 western", 1252, "Caf\xE9 \xDC\xDF \x80 \xA9 \x99 \x9C \xFF", L"Café Üß € © ™ œ ÿ"},
        {"1252 embedded NUL", 1252, "a\0\xE9"s, L"a\0é"s},
        {"1250 central european", 1250, "\x8A\x9A \xC8\xE8", L"Šš Čč"},
    };
    return cases;
}

TEST(CodePageTest, RoundTripsThroughEightBitCodePages)
{
    for (const t_round_trip_case& test_case : round_trip_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_wide_result wide = to_wide(test_case.code_page, 0, test_case.narrow);
        EXPECT_EQ(wide.needed, static_cast<int>(test_case.wide.size()));
        EXPECT_EQ(wide.text, test_case.wide);

        const t_narrow_result narrow =
            to_narrow(test_case.code_page, 0, test_case.wide, nullptr, true);
        EXPECT_EQ(narrow.needed, static_cast<int>(test_case.narrow.size()));
        EXPECT_EQ(narrow.text, test_case.narrow);
        EXPECT_EQ(narrow.used_by_query, FALSE);
        EXPECT_EQ(narrow.used, FALSE);

        const t_wide_result strict =
            to_wide(test_case.code_page, MB_ERR_INVALID_CHARS, test_case.narrow);
        EXPECT_EQ(strict.text, test_case.wide);
        EXPECT_EQ(to_wide(test_case.code_page, MB_PRECOMPOSED, test_case.narrow).text,
                  test_case.wide);
    }
}

struct t_unmappable_case
{
    const char* name;
    UINT code_page;
    std::wstring wide;
    const char* default_char;
    std::string expected;
    BOOL used;
};

const std::vector<t_unmappable_case>& unmappable_cases()
{
    static const std::vector<t_unmappable_case> cases = {
        {"1252 CJK, default '?'", 1252,
         L"a\u4E2D"
         L"b",
         nullptr, "a?b", TRUE},
        {"1252 cyrillic, given default", 1252, L"Привет", "*", "******", TRUE},
        {"1252 lone surrogate", 1252, std::wstring(1, static_cast<wchar_t>(0xD800)), nullptr, "?",
         TRUE},
        {"1251 CJK", 1251, L"\u4E2D!", nullptr, "?!", TRUE},
        {"1251 euro is mappable", 1251, L"\u20AC", nullptr, "\x88", FALSE},
        {"866 euro", 866, L"\u20AC", "#", "#", TRUE},
        {"866 all mappable", 866, L"Ёж", "#", "\xF0\xA6", FALSE},
    };
    return cases;
}

TEST(CodePageTest, UnmappableCharactersBecomeTheDefaultCharacter)
{
    for (const t_unmappable_case& test_case : unmappable_cases())
    {
        SCOPED_TRACE(test_case.name);
        const t_narrow_result result = to_narrow(test_case.code_page, WC_NO_BEST_FIT_CHARS,
                                                 test_case.wide, test_case.default_char, true);
        EXPECT_EQ(result.needed, static_cast<int>(test_case.expected.size()));
        EXPECT_EQ(result.text, test_case.expected);
        EXPECT_EQ(result.used_by_query, test_case.used);
        EXPECT_EQ(result.used, test_case.used);

        // Without the out flag the substitution happens all the same.
        EXPECT_EQ(to_narrow(test_case.code_page, WC_NO_BEST_FIT_CHARS, test_case.wide,
                            test_case.default_char)
                      .text,
                  test_case.expected);
    }
}

#ifndef _WIN32
// Windows' own table maps 0x81 of code page 1252 to U+0081; the host's table leaves
// it undefined, so here it is invalid input.
TEST(CodePageTest, BytesUndefinedInTheHostTableAreInvalid)
{
    EXPECT_EQ(to_wide(1252, 0,
                      "a\x81"
                      "b")
                  .text,
              L"a" + replacement(1) + L"b");
    const t_wide_result strict = to_wide(1252, MB_ERR_INVALID_CHARS,
                                         "a\x81"
                                         "b");
    EXPECT_EQ(strict.needed, 0);
    EXPECT_EQ(strict.error, static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}
#endif

TEST(CodePageTest, DoubleByteCodePagesConvert)
{
    struct t_case
    {
        UINT code_page;
        std::string narrow;
        std::wstring wide;
    };
    const t_case cases[] = {
        {932, "A\x93\xFA\x96\x7B", L"A日本"},
        {936, "A\xD6\xD0\xCE\xC4", L"A中文"},
    };
    for (const t_case& test_case : cases)
    {
        SCOPED_TRACE(test_case.code_page);
        EXPECT_EQ(to_wide(test_case.code_page, 0, test_case.narrow).text, test_case.wide);
        EXPECT_EQ(to_narrow(test_case.code_page, 0, test_case.wide).text, test_case.narrow);
    }
}

// More code pages than a thread keeps converters for, used in turns.
TEST(CodePageTest, ManyCodePagesInTurnStayCorrect)
{
    const UINT code_pages[] = {437,  850,  866,  874,   1250,  1251,  1252,  1253, 1254,
                               1255, 1256, 1257, 20127, 20866, 28591, 28595, 932,  936};
    for (int round = 0; round < 3; ++round)
    {
        for (const UINT code_page : code_pages)
        {
            SCOPED_TRACE(code_page);
            EXPECT_EQ(to_wide(code_page, 0, "Hello, 42!").text, L"Hello, 42!");
            EXPECT_EQ(to_narrow(code_page, 0, L"Hello, 42!").text, "Hello, 42!");
        }
    }
}

TEST(CodePageTest, ThreadsConvertConcurrently)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    threads.reserve(failures.size());
    for (std::size_t thread_index = 0; thread_index < failures.size(); ++thread_index)
    {
        threads.emplace_back(
            [&failures, thread_index]
            {
                const t_round_trip_case& test_case =
                    round_trip_cases()[thread_index % round_trip_cases().size()];
                for (int iteration = 0; iteration < 300; ++iteration)
                {
                    std::wstring wide(test_case.wide.size(), L'#');
                    const int written =
                        MultiByteToWideChar(test_case.code_page, 0, test_case.narrow.data(),
                                            static_cast<int>(test_case.narrow.size()), wide.data(),
                                            static_cast<int>(wide.size()));
                    if (written != static_cast<int>(wide.size()) || wide != test_case.wide)
                        ++failures[thread_index];
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
