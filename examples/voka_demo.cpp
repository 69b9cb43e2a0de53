// The demo client: shows the error-record library and the platform services that
// the family stands on, each with its output.
#include "message_table_builder.h"
#include "voka/infrastructure/core/cmd_line_parser_error_traits.h"
#include "voka/infrastructure/core/err_exception_with_params.h"
#include "voka/infrastructure/core/message_formatter.h"
#include "voka/infrastructure/core/message_table.h"
#include "voka/infrastructure/core/text_converters.h"
#include "voka/platform/resource_module.h"
#include "voka/win32.h"

#include <iostream>
#include <string>

namespace
{

using namespace voka::infrastructure::core::structure;
using t_parser_exception =
    structure::t_err_exception_with_params<structure::t_cmd_line_parser_err_record, wchar_t>;

std::string narrow(const std::wstring& text)
{
    std::string result;
    t_unicode_to_ansi::convert(result, text.c_str(), static_cast<int>(text.size()));
    return result;
}

void show_error_records()
{
    std::cout << "== Error records\n";
    try
    {
        throw t_parser_exception(3).add_str_arg(L"-verbose");
    }
    catch (const std::exception& error)
    {
        std::cout << "ERROR: " << error.what() << '\n';
    }
    t_parser_exception inner(2);
    t_parser_exception outer(3);
    outer.add_exception_arg(inner);
    std::cout << "nested: " << outer.what() << '\n';
}

void show_message_formatter()
{
    std::cout << "== Message formatter\n";
    std::cout << structure::t_message_formatter(
                     "Failed to load the module [%1]. Win32 Error Code: %2.")
                     .add_arg("missing.dll")
                     .add_arg(ERROR_MOD_NOT_FOUND)
                     .build()
              << '\n';
}

void show_code_pages()
{
    std::cout << "== Code pages\n";
    std::wstring wide;
    t_ansi_to_unicode::convert(wide, "\xcf\xf0\xe8\xe2\xe5\xf2", -1, 1251);
    std::cout << "CP1251 bytes as UTF-8: " << narrow(wide) << '\n';
}

void show_system_message(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : L"(no text)";
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
        message.pop_back();
    std::cout << "Win32 error " << code << ": " << narrow(message) << '\n';
}

void show_message_table()
{
    std::cout << "== Message tables\n";
    using namespace voka::test;
    const std::uint32_t section_rva = 0x1000;
    const HMODULE module = voka::platform::register_resource_module(
        build_message_table_section(
            {{L"DEMO.ERR_MESSAGES", 0x0009,
              build_message_table(
                  {{21, {narrow_entry("[win32] Fail at creation of event object [%1].\r\n")}}})},
             {L"DEMO.ERR_MESSAGES", 0x0019,
              build_message_table(
                  {{21,
                    {narrow_entry(
                        "[win32] \xd0\x9e\xd1\x88\xd0\xb8\xd0\xb1\xd0\xba\xd0\xb0 "
                        "\xd1\x81\xd0\xbe\xd0\xb7\xd0\xb4\xd0\xb0\xd0\xbd\xd0\xb8\xd1\x8f "
                        "\xd1\x81\xd0\xbe\xd0\xb1\xd1\x8b\xd1\x82\xd0\xb8\xd1\x8f [%1].\r\n")}}})}},
            section_rva),
        section_rva);
    const t_message_table_source source{&module, L"DEMO.ERR_MESSAGES", 65001};
    for (const std::int32_t language : {0x0009, 0x0019})
    {
        std::wstring text;
        const std::int32_t result = lookup_message_table_entry(source, 21, text, 0, language);
        std::cout
            << "entry 21, language 0x" << std::hex << language << std::dec << ", result " << result
            << ": "
            << structure::t_message_formatter(narrow(text).c_str()).add_arg("m_done_event").build()
            << '\n';
    }
    voka::platform::unregister_resource_module(module);
}

}  // namespace

int main()
{
    show_error_records();
    show_message_formatter();
    show_code_pages();
    std::cout << "== System messages\n";
    show_system_message(ERROR_FILE_NOT_FOUND);
    show_system_message(ERROR_ACCESS_DENIED);
    show_message_table();
    ::OutputDebugStringW(L"voka_demo: finished (visible with VOKA_DEBUG_OUTPUT=stderr)\n");
    return 0;
}
