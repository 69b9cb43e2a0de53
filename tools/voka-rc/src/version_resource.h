// The version resource (RT_VERSION): a VS_VERSIONINFO block as rc.exe writes it.
#pragma once

#include "resource_source.h"

#include <cstdint>
#include <vector>

namespace voka::rc
{

// VS_VERSIONINFO: VS_FIXEDFILEINFO with the file and product versions (file type VFT_DLL, file OS
// VOS_NT_WINDOWS32, flags mask 0x3F, no flags, no date); a StringFileInfo with the one string
// table "040904B0" holding `info.strings` in order; a VarFileInfo whose Translation is
// 0x0409/1200. Every block is a length, a value length, a type (1 for text, 0 for binary) and a
// NUL-terminated UTF-16LE key, with its value and each child starting at a 4-byte boundary; a
// block's length covers its children and the padding between them, not the padding after the
// last. A string's value length counts its UTF-16 units with the terminator.
std::vector<std::uint8_t> build_version_resource(const t_version_info& info);

}  // namespace voka::rc
