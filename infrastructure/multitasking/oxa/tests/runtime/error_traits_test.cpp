// The library's error records over message tables held in memory in the layout of the library's
// resources (8-bit UTF-8 entries, CR LF, NUL padding): every message in English and Russian, the
// source name, the fallbacks, the narrow text and the raising helpers.
#include "message_table_builder.h"
#include "runtime/oxa_error_traits.h"
#include "runtime/oxa_errors.h"
#include "runtime/oxa_module_handle_scope.h"
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/platform/resource_module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;
using namespace voka::test;

constexpr std::uint16_t k_english = 0x0009;
constexpr std::uint16_t k_russian = 0x0019;
constexpr std::uint32_t k_section_rva = 0x3000;

struct t_message
{
    std::uint32_t id;
    const char* english;
    const char* russian;
};

const t_message k_messages[] = {
    {1, "Bug check at [%1] [%2]: %3.", "BUG-CHECK в [%1] [%2]: %3."},
    {2, "Invalid execution thread [id: %2] of method [%1] call. Allowed thread id: %3.",
     "Метод [%1] вызван в недопустимом исполняемом потоке [id: %2]. Идентификатор допустимого "
     "потока: %3."},
    {21, "[win32] Fail at creation of event object [%1].", "[win32] Ошибка создания события [%1]."},
    {22, "[win32] Can't set an event object [%1] to the signaled state.",
     "[win32] Ошибка активации события [%1]."},
    {23, "[win32] Can't set an event object [%1] to the nonsignaled state.",
     "[win32] Ошибка сброса события [%1]."},
    {24, "[crt] Fail at creation of thread object [%1]. CRT error code: %2. WIN32 error code: %3.",
     "[crt] Ошибка создания потока [%1]. Код ошибки CRT: %2. Код ошибки WIN32: %3."},
    {25, "Failed to COM initialize.", "Ошибка инициализации COM."},
    {26, "The work of thread [%1] was abnormally terminated.",
     "Ненормальное завершение работы потока [%1]."},
};

std::vector<std::uint8_t> messages_table(bool russian)
{
    std::vector<t_message_block> blocks{{1, {}}, {21, {}}};
    for (const t_message& message : k_messages)
        blocks[message.id < 21 ? 0 : 1].entries.push_back(
            narrow_entry(std::string(russian ? message.russian : message.english) + "\r\n"));
    return build_message_table(blocks);
}

std::vector<t_message_table_resource> library_tables()
{
    return {
        {oxa::k_oxa_messages_table, k_english, messages_table(false)},
        {oxa::k_oxa_messages_table, k_russian, messages_table(true)},
        {oxa::k_oxa_sources_table, k_english,
         build_message_table({{0, {narrow_entry("voka.infrastructure.multitasking.oxa\r\n")}}})}};
}

std::wstring from_utf8(std::string_view text)
{
    std::wstring result;
    voka::infrastructure::core::structure::t_ansi_to_unicode::convert(
        result, text.data(), static_cast<int>(text.size()), 65001);
    return result;
}

// The template with %1, %2, %3 replaced by "P1", "P2", "P3".
std::wstring filled(const char* templ)
{
    std::wstring text = from_utf8(templ);
    for (const wchar_t* placeholder : {L"%1", L"%2", L"%3"})
    {
        const auto at = text.find(placeholder);
        if (at != std::wstring::npos)
            text.replace(at, 2, std::wstring(L"P") + placeholder[1]);
    }
    return text;
}

// The library's texts read from a module holding `tables` while the fixture lives.
class OxaErrorTraitsTest : public ::testing::Test
{
protected:
    explicit OxaErrorTraitsTest(
        const std::vector<t_message_table_resource>& tables = library_tables())
        : m_module(voka::platform::register_resource_module(
              build_message_table_section(tables, k_section_rva), k_section_rva)),
          m_scope(m_module.get())
    {
    }

    static voka::infrastructure::core::structure::t_smart_object_ptr<oxa::t_oxa_err_record>
    record(std::uint32_t id, std::vector<std::wstring> params = {L"P1", L"P2", L"P3"})
    {
        auto made = voka::infrastructure::core::structure::make_smart<oxa::t_oxa_err_record>(
            id, oxa::oxa_error_kind_hresult, static_cast<std::uint32_t>(E_FAIL));
        for (const std::wstring& param : params)
            made->add_str_arg(param);
        return made;
    }

    static std::wstring description(oxa::t_oxa_err_record& record, std::int32_t lang,
                                    bool* found = nullptr)
    {
        std::wstring text;
        const bool ok = record.get_description(0, lang, nullptr, &text);
        if (found != nullptr)
            *found = ok;
        return text;
    }

private:
    voka::platform::t_resource_module_registration m_module;
    oxa::t_oxa_module_handle_scope m_scope;
};

TEST_F(OxaErrorTraitsTest, EveryMessageInEnglishAndRussian)
{
    for (const t_message& message : k_messages)
    {
        SCOPED_TRACE(message.id);
        auto made = record(message.id);
        bool found = false;
        EXPECT_EQ(description(*made, k_english, &found), filled(message.english));
        EXPECT_TRUE(found);
        EXPECT_EQ(description(*made, k_russian, &found), filled(message.russian));
        EXPECT_TRUE(found);
    }
}

TEST_F(OxaErrorTraitsTest, ALanguageTheTableLacksFallsBackToTheNeutralLookup)
{
    auto made = record(21);
    const std::wstring german = description(*made, 0x0007);
    EXPECT_TRUE(german == filled(k_messages[2].english) || german == filled(k_messages[2].russian))
        << "one of the table's languages";
    EXPECT_EQ(german, description(*made, 0));
}

TEST_F(OxaErrorTraitsTest, AnUnknownIdGivesTheUnknownMessageText)
{
    auto made = record(27);
    bool found = true;
    EXPECT_EQ(description(*made, k_english, &found),
              L"[voka.infrastructure.multitasking.oxa] Unknown message id [27]");
    EXPECT_FALSE(found);
}

TEST_F(OxaErrorTraitsTest, TheSourceComesFromTheSourcesTableInEveryLanguage)
{
    auto made = record(25);
    for (const std::int32_t lang : {k_english, k_russian, std::uint16_t{0}})
    {
        std::wstring source;
        EXPECT_TRUE(made->get_description(0, lang, &source, nullptr));
        EXPECT_EQ(source, L"voka.infrastructure.multitasking.oxa");
    }
}

TEST_F(OxaErrorTraitsTest, RecordFieldsAndHelp)
{
    auto made = voka::infrastructure::core::structure::make_smart<oxa::t_oxa_err_record>(
        21u, oxa::oxa_error_kind_win32, 5u);
    EXPECT_EQ(made->get_error_kind(), 1);
    EXPECT_EQ(made->get_error_code(), 5);
    EXPECT_EQ(made->get_value2(), 0);
    std::wstring help_file = L"kept";
    std::int32_t context = -1;
    EXPECT_FALSE(made->get_help(0, 0, &help_file, &context));
    EXPECT_EQ(help_file, L"kept");
    EXPECT_EQ(context, 0);
}

// what() uses the neutral lookup: English under an English or C locale.
bool english_or_c_locale()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* const value = std::getenv(variable);
        if (value == nullptr || *value == '\0')
            continue;
        const std::string_view name(value);
        return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("en");
    }
    return true;
}

TEST_F(OxaErrorTraitsTest, TheNarrowTextOfAFailedDoneEvent)
{
    if (!english_or_c_locale())
        GTEST_SKIP() << "the locale names a language other than English";
    try
    {
        oxa::oxa_raise_error(oxa::oxa_msg_event_create, oxa::oxa_error_kind_win32, 8,
                             {L"oxa_task_seq__controller_impl::m_done_event"});
        FAIL() << "nothing thrown";
    }
    catch (const oxa::t_oxa_exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "[voka.infrastructure.multitasking.oxa]:[win32] Fail at creation of event "
                     "object [oxa_task_seq__controller_impl::m_done_event].");
        ASSERT_EQ(error.get_record_count(), 1);
        EXPECT_EQ(error.get_record(0)->get_error_kind(), 1);
        EXPECT_EQ(error.get_record(0)->get_error_code(), 8);
    }
}

TEST_F(OxaErrorTraitsTest, ABugCheckFillsItsDetailBeforeTheRecordIsMade)
{
    try
    {
        oxa::oxa_raise_bug_check(L"oxa_task_seq__manager_impl::thread__entry_point", L"#002",
                                 L"Get wrong wait result code: %1", {L"258"});
        FAIL() << "nothing thrown";
    }
    catch (const std::exception& error)
    {
        const auto* const records =
            dynamic_cast<const voka::infrastructure::core::structure::t_err_records_r*>(&error);
        ASSERT_NE(records, nullptr);
        const auto first = records->get_record(0);
        EXPECT_EQ(first->get_error_kind(), 2);
        EXPECT_EQ(static_cast<std::uint32_t>(first->get_error_code()), 0x80004005u);
        std::wstring text;
        EXPECT_TRUE(first->get_description(0, k_english, nullptr, &text));
        EXPECT_EQ(text, L"Bug check at [oxa_task_seq__manager_impl::thread__entry_point] [#002]: "
                        L"Get wrong wait result code: 258.");
        EXPECT_TRUE(first->get_description(0, k_russian, nullptr, &text));
        EXPECT_EQ(text, L"BUG-CHECK в [oxa_task_seq__manager_impl::thread__entry_point] [#002]: "
                        L"Get wrong wait result code: 258.");
    }
}

class t_other_object : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
                           voka::infrastructure::core::structure::t_smart_interface>
{
};

TEST_F(OxaErrorTraitsTest, NestedRecordsFollowTheLanguageAndUnknownArgumentsAreMarked)
{
    auto inner = record(25, {});
    auto outer = record(26, {});
    outer->add_object_arg(inner.get());
    EXPECT_EQ(description(*outer, k_english),
              L"The work of thread [Failed to COM initialize.] was abnormally terminated.");
    EXPECT_EQ(description(*outer, k_russian),
              from_utf8("Ненормальное завершение работы потока [Ошибка инициализации COM.]."));

    auto marked = record(2, {L"method"});
    auto other = voka::infrastructure::core::structure::make_smart<t_other_object>();
    marked->add_object_arg(other.get());
    marked->add_str_arg(L"7");
    EXPECT_EQ(description(*marked, k_english),
              L"Invalid execution thread [id: ?unk_arg_type?] of method [method] call. Allowed "
              L"thread id: 7.");
}

// A module without the library's tables: every text falls back, nothing throws.
class OxaErrorTraitsWithoutTablesTest : public OxaErrorTraitsTest
{
protected:
    OxaErrorTraitsWithoutTablesTest()
        : OxaErrorTraitsTest({{L"SOME.OTHER.TABLE", k_english,
                               build_message_table({{0, {narrow_entry("x\r\n")}}})}})
    {
    }
};

TEST_F(OxaErrorTraitsWithoutTablesTest, GiveTheFallbackTexts)
{
    auto made = record(21, {L"name"});
    bool found = true;
    EXPECT_EQ(description(*made, k_english, &found),
              L"[voka.infrastructure.multitasking.oxa] Unknown message id [21]");
    EXPECT_FALSE(found);
    std::wstring source = L"stale";
    EXPECT_FALSE(made->get_description(0, k_english, &source, nullptr));
    EXPECT_EQ(source, L"");
    EXPECT_STREQ(made->get_text(),
                 "[voka.infrastructure.multitasking.oxa] Unknown message id [21]");
}

}  // namespace

namespace
{

// The tables the library module carries in its own resources (this program is the module).
TEST(OxaLibraryResourcesTest, HoldEveryMessageAndTheSourceInBothLanguages)
{
    auto made_source = voka::infrastructure::core::structure::make_smart<oxa::t_oxa_err_record>(
        25u, oxa::oxa_error_kind_hresult, 0u);
    std::wstring source;
    ASSERT_TRUE(made_source->get_description(0, k_english, &source, nullptr));
    EXPECT_EQ(source, L"voka.infrastructure.multitasking.oxa");
    for (const t_message& message : k_messages)
    {
        SCOPED_TRACE(message.id);
        auto made = voka::infrastructure::core::structure::make_smart<oxa::t_oxa_err_record>(
            message.id, oxa::oxa_error_kind_hresult, 0u);
        for (const wchar_t* param : {L"P1", L"P2", L"P3"})
            made->add_str_arg(param);
        std::wstring text;
        EXPECT_TRUE(made->get_description(0, k_english, nullptr, &text));
        EXPECT_EQ(text, filled(message.english));
        EXPECT_TRUE(made->get_description(0, k_russian, nullptr, &text));
        EXPECT_EQ(text, filled(message.russian));
    }
    auto unknown = voka::infrastructure::core::structure::make_smart<oxa::t_oxa_err_record>(
        27u, oxa::oxa_error_kind_hresult, 0u);
    std::wstring text;
    EXPECT_FALSE(unknown->get_description(0, k_english, nullptr, &text));
    EXPECT_EQ(text, L"[voka.infrastructure.multitasking.oxa] Unknown message id [27]");
}

TEST(OxaLibraryResourcesTest, TheNarrowTextOfAFailedDoneEvent)
{
    if (!english_or_c_locale())
        GTEST_SKIP() << "the locale names a language other than English";
    try
    {
        oxa::oxa_raise_error(oxa::oxa_msg_event_create, oxa::oxa_error_kind_win32, 8,
                             {L"oxa_task_seq__controller_impl::m_done_event"});
        FAIL() << "nothing thrown";
    }
    catch (const std::exception& error)
    {
        EXPECT_STREQ(error.what(),
                     "[voka.infrastructure.multitasking.oxa]:[win32] Fail at creation of event "
                     "object [oxa_task_seq__controller_impl::m_done_event].");
    }
}

}  // namespace
