// Fuzzes the message-table lookup: the input's first four bytes are the entry id,
// the rest is the message-table resource, stored in a module in two languages.
#include "message_table_builder.h"
#include "voka/infrastructure/core/message_table.h"
#include "voka/platform/resource_module.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint32_t id =
        static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
        (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    const std::vector<std::uint8_t> table(data + 4, data + size);
    const std::uint32_t section_rva = 0x1000;
    const HMODULE module = voka::platform::register_resource_module(
        voka::test::build_message_table_section({{L"FUZZ", 0x0419, table}}, section_rva),
        section_rva);
    if (module == nullptr)
        __builtin_trap();  // the builder's output must always register

    const voka::infrastructure::core::structure::t_message_table_source source{&module, L"FUZZ",
                                                                               65001};
    std::wstring text;
    for (std::int32_t lang : {0x0419, 0x0009})
    {
        const std::int32_t result =
            voka::infrastructure::core::structure::lookup_message_table_entry(source, id, text, 0,
                                                                              lang);
        if (result < 0 || result > 3)
            __builtin_trap();
    }
    voka::platform::unregister_resource_module(module);
    return 0;
}
