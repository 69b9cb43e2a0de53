// Wide paths to UTF-8, and the Windows codes of failed opens.
#include "file_path.h"

#include "error_map.h"
#include "text_output.h"
#include "utf8_codec.h"

#include <cerrno>
#include <sys/stat.h>

namespace voka::platform::io
{

std::optional<std::string> path_to_utf8(LPCWSTR path)
{
    const std::wstring_view text(path);
    std::string result;
    result.reserve(text.size());
    t_string_output<std::string> output(result);
    if (encode_utf8(text.data(), text.size(), true, output) != t_conversion_status::ok)
        return std::nullopt;
    return result;
}

DWORD open_error(const std::string& path, int error_number) noexcept
{
    if (error_number == EISDIR)
        return ERROR_ACCESS_DENIED;
    if (error_number != ENOENT)
        return win32_error_from_errno(error_number);
    // Windows tells a missing file from a missing folder on the way to it.
    std::string folder;
    const std::size_t slash = path.find_last_of('/');
    try
    {
        folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    }
    catch (...)
    {
        return ERROR_FILE_NOT_FOUND;
    }
    struct stat status;
    if (::stat(folder.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

}  // namespace voka::platform::io
