// Turns a parsed resource source into the resources of a module and their resource section.
#pragma once

#include "resource_source.h"
#include "voka/platform/resource_directory.h"

#include <cstdint>
#include <vector>

namespace voka::rc
{

// Where each kind of resource goes: type, id and language.
inline constexpr std::uint16_t k_version_type = 16;  // RT_VERSION
inline constexpr std::uint16_t k_version_id = 1;
inline constexpr std::uint16_t k_manifest_type = 24;  // RT_MANIFEST
inline constexpr std::uint16_t k_manifest_id = 2;
inline constexpr std::uint16_t k_message_table_type = 11;  // RT_MESSAGETABLE
inline constexpr const wchar_t* k_binary_info_type = L"VOKA.BINARY_INFO";
inline constexpr std::uint16_t k_binary_info_id = 1;
inline constexpr std::uint16_t k_informational_language = 0x0409;

// The resources `source` declares, every data entry with code page 0. Message-table names are
// stored upper-cased, as Windows resource compilers store names.
platform::t_resource_content compile_resources(const t_resource_source& source);

// The complete resource section for `source`, laid out by the codec's builder for section RVA 0:
// every data entry's RVA is the offset of its data inside the section.
std::vector<std::uint8_t> compile_resource_section(const t_resource_source& source);

}  // namespace voka::rc
