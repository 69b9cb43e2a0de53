// Writes the new file of a module update beside the module and puts it in the module's place only
// when all of it is on disk, so the module is never seen half-written.
#pragma once

#include "../pe/resource_update_plan.h"
#include "voka/win32.h"

#include <cstdint>
#include <span>
#include <string>
#include <sys/stat.h>

namespace voka::platform
{

// Writes `plan` to a hidden file in the folder of `path` (".<name>.update-XXXXXX"), taking the
// old file's ranges from `source` (a descriptor of the old file) or `source_bytes` (its mapping),
// computes the checksum when the plan asks for it, gives the file the mode (and, where permitted,
// the owner) in `original`, flushes it, and renames it over `path`. On failure removes the hidden
// file, leaves `path` as it was and returns the Win32 error; ERROR_SUCCESS on success.
DWORD write_module_file(const std::string& path, int source,
                        std::span<const std::uint8_t> source_bytes, const pe::t_update_plan& plan,
                        const struct stat& original) noexcept;

}  // namespace voka::platform
