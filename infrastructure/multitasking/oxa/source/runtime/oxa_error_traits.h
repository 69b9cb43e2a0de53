// The task library's error traits: records whose texts and source name come from the library's
// own message-table resources (English and Russian), looked up when a text is asked for.
#pragma once

#include "voka/infrastructure/core/err_exception_with_params.h"
#include "voka/infrastructure/core/err_record_with_params.h"
#include "voka/infrastructure/core/message_formatter.h"

#include <cstdint>
#include <string>

namespace voka::infrastructure::multitasking::oxa
{

// Names of the two message tables (resource type 11) of the library module.
inline constexpr const wchar_t* k_oxa_messages_table =
    L"VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_MESSAGES";
inline constexpr const wchar_t* k_oxa_sources_table =
    L"VOKA.CPP.INFRASTRUCTURE.MULTITASKING.OXA.ERR_SOURCES";

struct t_oxa_error_traits
{
    struct record_data_ext_type
    {
    };

    // A help-file string given to get_help is left as it was.
    static constexpr bool clear_help_file = false;

    // A record of `message_id` whose code `error_code` reads as `error_kind` (1 Win32, 2 HRESULT);
    // source id, value 2 and help context 0.
    static void init(::structure::t_err_record_data& data, std::uint32_t message_id,
                     std::uint32_t error_kind, std::uint32_t error_code);

    // The template of the record's message id from ERR_MESSAGES of the library module.
    static bool find_template(const ::structure::t_err_record_data& data,
                              std::int32_t use_neutral_lang, std::int32_t lang_id,
                              std::wstring& text);

    // "[voka.infrastructure.multitasking.oxa] Unknown message id [%1]" with the id.
    static ::structure::t_wmessage_formatter
    unknown_template(const ::structure::t_err_record_data& data);

    // The record's source name from ERR_SOURCES; empty and false when it is missing.
    static bool find_source(const ::structure::t_err_record_data& data,
                            std::int32_t use_neutral_lang, std::int32_t lang_id,
                            std::wstring& text);

    static const char* critical_text() noexcept
    {
        return "[voka.infrastructure.multitasking.oxa] Critical error.";
    }
};

using t_oxa_err_record = ::structure::t_err_record_with_params<t_oxa_error_traits, wchar_t>;
using t_oxa_exception = ::structure::t_err_exception_with_params<t_oxa_err_record, wchar_t>;

}  // namespace voka::infrastructure::multitasking::oxa
