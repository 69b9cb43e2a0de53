// Collects the built resources into one tree and hands it to the codec's section builder.
#include "resource_compiler.h"

#include "message_table.h"
#include "utf_text.h"
#include "version_resource.h"
#include "xml_documents.h"

#include <algorithm>

namespace voka::rc
{
namespace
{

using platform::t_resource_blob;
using platform::t_resource_content;
using platform::t_resource_id;

void add(t_resource_content& content, const t_resource_id& type, const t_resource_id& name,
         std::uint16_t language, std::vector<std::uint8_t> bytes)
{
    auto type_node = std::find_if(content.types.begin(), content.types.end(),
                                  [&type](const auto& node) { return node.id == type; });
    if (type_node == content.types.end())
        type_node = content.types.insert(content.types.end(), {type, {}});
    auto name_node = std::find_if(type_node->names.begin(), type_node->names.end(),
                                  [&name](const auto& node) { return node.id == name; });
    if (name_node == type_node->names.end())
        name_node = type_node->names.insert(type_node->names.end(), {name, {}});
    name_node->languages.push_back({language, t_resource_blob{0, std::move(bytes)}});
}

std::vector<std::uint8_t> bytes_of(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::wstring upper_case_name(const std::string& name)
{
    std::wstring wide = to_wide(decode_utf8(name).value());
    for (wchar_t& character : wide)
        character = platform::upcase_resource_name_char(character);
    return wide;
}

}  // namespace

t_resource_content compile_resources(const t_resource_source& source)
{
    t_resource_content content;
    if (source.version)
        add(content, t_resource_id(k_version_type), t_resource_id(k_version_id),
            k_informational_language, build_version_resource(*source.version));
    if (source.binary_info)
        add(content, t_resource_id(std::wstring(k_binary_info_type)),
            t_resource_id(k_binary_info_id), k_informational_language,
            bytes_of(binary_info_document(*source.binary_info)));
    if (source.manifest)
        add(content, t_resource_id(k_manifest_type), t_resource_id(k_manifest_id),
            k_informational_language, bytes_of(manifest_document()));
    for (const t_message_table& table : source.message_tables)
        add(content, t_resource_id(k_message_table_type),
            t_resource_id(upper_case_name(table.name)), table.language,
            build_message_table(table.entries));
    platform::sort_resource_tree(content);
    return content;
}

std::vector<std::uint8_t> compile_resource_section(const t_resource_source& source)
{
    return platform::build_resource_directory(compile_resources(source), 0);
}

}  // namespace voka::rc
