// Texts of the library's error records: message-table lookups in the library's own module, whose
// 8-bit entries hold UTF-8.
#include "runtime/oxa_error_traits.h"

#include "runtime/oxa_module.h"
#include "voka/infrastructure/core/message_table.h"

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

constexpr std::uint32_t k_utf8_code_page = 65001;

// Entry `id` of `table` in the library module; false (and an empty text) when it is missing.
bool lookup(const wchar_t* table, std::uint32_t id, std::int32_t use_neutral_lang,
            std::int32_t lang_id, std::wstring& text)
{
    namespace core = voka::infrastructure::core::structure;
    const HMODULE module = oxa_module_handle();
    const core::t_message_table_source source{&module, table, k_utf8_code_page};
    if (core::lookup_message_table_entry(source, id, text, use_neutral_lang, lang_id) ==
        core::message_table_found)
        return true;
    text.clear();
    return false;
}

}  // namespace

void t_oxa_error_traits::init(::structure::t_err_record_data& data, std::uint32_t message_id,
                              std::uint32_t error_kind, std::uint32_t error_code)
{
    data.error_kind = static_cast<std::int32_t>(error_kind);
    data.value2 = 0;
    data.error_code = static_cast<std::int32_t>(error_code);
    data.source_id = 0;
    data.message_id = static_cast<std::int32_t>(message_id);
    data.help_context = 0;
}

bool t_oxa_error_traits::find_template(const ::structure::t_err_record_data& data,
                                       std::int32_t use_neutral_lang, std::int32_t lang_id,
                                       std::wstring& text)
{
    return lookup(k_oxa_messages_table, static_cast<std::uint32_t>(data.message_id),
                  use_neutral_lang, lang_id, text);
}

::structure::t_wmessage_formatter
t_oxa_error_traits::unknown_template(const ::structure::t_err_record_data& data)
{
    ::structure::t_wmessage_formatter formatter(
        L"[voka.infrastructure.multitasking.oxa] Unknown message id [%1]");
    formatter.add_arg(static_cast<std::uint32_t>(data.message_id));
    return formatter;
}

bool t_oxa_error_traits::find_source(const ::structure::t_err_record_data& data,
                                     std::int32_t use_neutral_lang, std::int32_t lang_id,
                                     std::wstring& text)
{
    return lookup(k_oxa_sources_table, static_cast<std::uint32_t>(data.source_id), use_neutral_lang,
                  lang_id, text);
}

}  // namespace voka::infrastructure::multitasking::oxa
