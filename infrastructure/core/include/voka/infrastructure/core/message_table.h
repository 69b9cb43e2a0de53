// Looking up one entry of a message-table resource (resource type 11) of a module.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <string>

namespace voka::infrastructure::core::structure
{

// Where a message table lives: the module (through the variable that holds its
// handle while it is loaded), the resource name and the code page of 8-bit entries.
struct t_message_table_source
{
    const HMODULE* module;
    const wchar_t* resource_name;
    std::uint32_t code_page;
};

// Results of lookup_message_table_entry.
enum t_message_table_result : std::int32_t
{
    message_table_found = 0,
    message_table_no_resource = 1,  // "Invalid message table resource ID [%1]. Lang ID [%2]."
    message_table_no_entry =
        2,  // "Invalid message table entry ID [%3]. Resource ID [%1]. Lang ID [%2]."
    message_table_bad_text =
        3,  // "Fail convert message. Resource ID [%1]. Lang ID [%2]. Entry ID [%3]."
};

// Fetches entry `id` in the language asked for (a non-zero `use_neutral_lang` asks
// for language 0), falling back to the language-neutral resource. Padding NULs and
// one trailing line end are removed. `text` holds the entry on result 0, and
// whatever converted on result 3. A table whose blocks or entries reach past the
// resource's end gives result 2, never a read outside it.
std::int32_t lookup_message_table_entry(const t_message_table_source& source, std::uint32_t id,
                                        std::wstring& text, std::int32_t use_neutral_lang,
                                        std::int32_t lang_id);

}  // namespace voka::infrastructure::core::structure
