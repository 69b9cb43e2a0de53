// The read command: one resource of a module into a file.
#include "file_holder.h"
#include "io_result_checks.h"
#include "module_holder.h"
#include "resource_operations.h"
#include "tool_failure.h"
#include "tool_texts.h"
#include "voka/win32.h"

namespace tw
{

void read_resource(const TW_ProgArgs& args)
{
    const t_module_holder module(
        ::LoadLibraryExW(args.module_name().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
    {
        const DWORD error = ::GetLastError();
        raise_failure(texts::load_module_failed, args.module_name(), error);
    }

    const HRSRC resource = ::FindResourceExW(module.get(), args.type_name().c_str(),
                                             args.resource_name().get(), args.language());
    if (resource == nullptr)
        raise_failure(texts::resource_not_found);
    const DWORD size = ::SizeofResource(module.get(), resource);
    const HGLOBAL loaded = ::LoadResource(module.get(), resource);
    if (loaded == nullptr)
        raise_failure(texts::load_resource_failed);
    const void* const bytes = ::LockResource(loaded);
    if (bytes == nullptr)
        raise_failure(texts::lock_resource_failed);

    t_file_holder destination;
    if (!destination.create(args.file_name(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL))
    {
        const DWORD error = ::GetLastError();
        raise_failure(texts::create_dest_failed, args.file_name(), error);
    }

    // Cleared first, so that a short write that sets no error is told apart.
    DWORD bytes_written = 0;
    ::SetLastError(ERROR_SUCCESS);
    const BOOL succeeded = ::WriteFile(destination.get(), bytes, size, &bytes_written, nullptr);
    require_complete_write(succeeded, bytes_written, size, ::GetLastError());

    if (!destination.close())
    {
        const DWORD error = ::GetLastError();
        raise_failure(texts::close_file_failed, error);
    }
}

}  // namespace tw
