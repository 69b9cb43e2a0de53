// Reading the source file of write and add: the bytes of the new resource.
#pragma once

#include "file_holder.h"
#include "voka/win32.h"

#include <string>
#include <vector>

namespace tw
{

// Opens `path` for reading without sharing into `file` and reads its whole content into
// `data` with one ReadFile. The file stays open in `file` (the caller's holder closes it).
// Throws std::runtime_error: "Failed to open source file [path]", "Failed to get file size"
// (also for a file of 4 GiB or more), "Failed to read file data", "Readed wrong byte count";
// std::bad_alloc when the buffer cannot be allocated.
void read_source_file(const std::wstring& path, t_file_holder& file, std::vector<BYTE>& data);

}  // namespace tw
