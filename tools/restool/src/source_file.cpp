// Reading the source file of write and add.
#include "source_file.h"

#include "io_result_checks.h"
#include "tool_failure.h"
#include "tool_texts.h"

namespace tw
{

void read_source_file(const std::wstring& path, t_file_holder& file, std::vector<BYTE>& data)
{
    if (!file.create(path, GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL))
    {
        const DWORD error = ::GetLastError();
        raise_failure(texts::open_source_failed, path, error);
    }

    // A file whose low part is 0xFFFFFFFF succeeds with no error code: clear it first.
    DWORD high_part = 0;
    ::SetLastError(ERROR_SUCCESS);
    const DWORD low_part = ::GetFileSize(file.get(), &high_part);
    const DWORD size = checked_source_size(low_part, high_part, ::GetLastError());

    data.resize(size);
    BYTE empty_target = 0;  // an empty file is still read once, into a valid address
    DWORD bytes_read = 0;
    const BOOL succeeded =
        ::ReadFile(file.get(), size != 0 ? data.data() : &empty_target, size, &bytes_read, nullptr);
    require_complete_read(succeeded, bytes_read, size, ::GetLastError());
}

}  // namespace tw
