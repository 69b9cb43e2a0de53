// FormatMessageW for system messages: allocated texts ending in CR LF, unknown codes,
// flag and language checks.
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace
{

constexpr DWORD k_system_flags =
    FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;

struct t_message
{
    DWORD result = 0;
    DWORD error = ERROR_SUCCESS;
    std::wstring text;
    bool buffer_is_null = true;
};

// One FormatMessageW call; frees the buffer with LocalFree.
t_message format_system_message(DWORD code, DWORD language = 0, DWORD flags = k_system_flags)
{
    t_message message;
    LPWSTR buffer = nullptr;
    SetLastError(ERROR_SUCCESS);
    message.result = FormatMessageW(flags, nullptr, code, language,
                                    reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    message.error = GetLastError();
    message.buffer_is_null = buffer == nullptr;
    if (buffer != nullptr)
    {
        message.text = buffer;
        EXPECT_EQ(LocalFree(buffer), nullptr);
    }
    return message;
}

struct t_known_code
{
    const char* name;
    DWORD code;
};

const t_known_code k_known_codes[] = {
    {"ERROR_SUCCESS", ERROR_SUCCESS},
    {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND},
    {"ERROR_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND},
    {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED},
    {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY},
    {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER},
    {"ERROR_DISK_FULL", ERROR_DISK_FULL},
};

TEST(SystemMessageTest, KnownCodesGiveOneLineEndingInCrLf)
{
    for (const t_known_code& known : k_known_codes)
    {
        SCOPED_TRACE(known.name);
        const t_message message = format_system_message(known.code);
        ASSERT_FALSE(message.buffer_is_null);
        EXPECT_EQ(message.result, message.text.size());
        ASSERT_GT(message.text.size(), 2u);
        EXPECT_EQ(message.text.substr(message.text.size() - 2), L"\r\n");
        const std::wstring line = message.text.substr(0, message.text.size() - 2);
        EXPECT_EQ(line.find_first_of(L"\r\n"), std::wstring::npos) << "more than one line";
        EXPECT_EQ(line.find(L'\0'), std::wstring::npos);
    }
}

TEST(SystemMessageTest, DifferentCodesGiveDifferentTexts)
{
    const std::wstring not_found = format_system_message(ERROR_FILE_NOT_FOUND).text;
    const std::wstring denied = format_system_message(ERROR_ACCESS_DENIED).text;
    const std::wstring success = format_system_message(ERROR_SUCCESS).text;
    EXPECT_NE(not_found, denied);
    EXPECT_NE(not_found, success);
    EXPECT_NE(denied, success);
}

TEST(SystemMessageTest, UnknownCodeFailsWithMessageNotFound)
{
    const t_message message = format_system_message(0x12345);
    EXPECT_EQ(message.result, 0u);
    EXPECT_EQ(message.error, static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    EXPECT_TRUE(message.buffer_is_null);
}

TEST(SystemMessageTest, DefaultLanguagesGiveTheSameText)
{
    const std::wstring neutral = format_system_message(ERROR_FILE_NOT_FOUND, 0).text;
    ASSERT_FALSE(neutral.empty());
    EXPECT_EQ(
        format_system_message(ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)).text,
        neutral);
}

TEST(SystemMessageTest, FlagsWithoutASourceFail)
{
    const t_message message = format_system_message(
        ERROR_FILE_NOT_FOUND, 0, FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER);
    EXPECT_EQ(message.result, 0u);
    EXPECT_EQ(message.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

#ifndef _WIN32
// The layer supports system messages in allocated buffers only, in the calling
// thread's locale, English, or the default languages.
TEST(SystemMessageTest, LayerRejectsFlagsAndLanguagesOutsideItsSubset)
{
    struct t_case
    {
        const char* name;
        DWORD flags;
        DWORD language;
        DWORD expected_error;
    };
    const t_case cases[] = {
        {"caller's buffer", FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 0,
         ERROR_INVALID_PARAMETER},
        {"inserts", FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, 0,
         ERROR_INVALID_PARAMETER},
        {"line width", k_system_flags | 80, 0, ERROR_INVALID_PARAMETER},
        {"russian", k_system_flags, MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT),
         ERROR_RESOURCE_LANG_NOT_FOUND},
    };
    for (const t_case& test_case : cases)
    {
        SCOPED_TRACE(test_case.name);
        const t_message message =
            format_system_message(ERROR_FILE_NOT_FOUND, test_case.language, test_case.flags);
        EXPECT_EQ(message.result, 0u);
        EXPECT_EQ(message.error, test_case.expected_error);
    }
    const t_message english =
        format_system_message(ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
    EXPECT_GT(english.result, 2u);
    EXPECT_EQ(english.text.substr(english.text.size() - 2), L"\r\n");
}
#endif

}  // namespace
