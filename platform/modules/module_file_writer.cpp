// Writing a module update: a new file beside the module, then an atomic rename.
//
// The old file's ranges are copied inside the kernel (copy_file_range), so an update of a large
// module neither reads its data into the process nor touches its mapping; where the file system
// cannot do that, or where the checksum needs every byte anyway, they are written from the
// mapping. The file is flushed (fsync) before the rename, and the folder after it, so that after a
// crash the module is either the old one or the complete new one.
#include "module_file_writer.h"

#include "../io/unique_descriptor.h"
#include "../pe/pe_bytes.h"
#include "../pe/pe_checksum.h"
#include "error_map.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace voka::platform
{
namespace
{

using pe::t_output_piece;

// Removes the hidden file unless the update committed.
class t_temporary_file
{
public:
    explicit t_temporary_file(std::string path) noexcept : m_path(std::move(path)) {}
    t_temporary_file(const t_temporary_file&) = delete;
    t_temporary_file& operator=(const t_temporary_file&) = delete;
    ~t_temporary_file()
    {
        if (!m_committed)
            ::unlink(m_path.c_str());
    }

    const std::string& path() const noexcept { return m_path; }
    void commit() noexcept { m_committed = true; }

private:
    std::string m_path;
    bool m_committed = false;
};

// Writes all of `bytes` at the file position; false with errno on failure.
bool write_all(int descriptor, std::span<const std::uint8_t> bytes) noexcept
{
    while (!bytes.empty())
    {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(count));
    }
    return true;
}

bool write_zeros(int descriptor, std::uint64_t count) noexcept
{
    static constexpr std::uint8_t k_zeros[4096] = {};
    while (count != 0)
    {
        const std::uint64_t chunk = std::min<std::uint64_t>(count, sizeof(k_zeros));
        if (!write_all(descriptor, std::span<const std::uint8_t>(k_zeros, chunk)))
            return false;
        count -= chunk;
    }
    return true;
}

// Copies `length` bytes of `source` from `offset` to the file position of `target` in the kernel.
// Returns 1 when done, 0 when the file system cannot copy so (nothing was copied), -1 with errno
// on failure (ENODATA when the source ended early).
int copy_in_kernel(int source, std::uint64_t offset, std::uint64_t length, int target) noexcept
{
    auto position = static_cast<off64_t>(offset);
    bool started = false;
    while (length != 0)
    {
        const ssize_t count = ::copy_file_range(
            source, &position, target, nullptr,
            static_cast<std::size_t>(std::min<std::uint64_t>(length, std::uint64_t{1} << 30)), 0);
        if (count < 0)
        {
            if (errno == EINTR)
                continue;
            if (!started && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                             errno == EOPNOTSUPP || errno == EBADF))
                return 0;
            return -1;
        }
        if (count == 0)
        {
            errno = ENODATA;
            return -1;
        }
        started = true;
        length -= static_cast<std::uint64_t>(count);
    }
    return 1;
}

// The error of a failed write step: a source that ended early was truncated by someone else.
DWORD step_error(int error_number) noexcept
{
    return error_number == ENODATA ? DWORD{ERROR_SHARING_VIOLATION}
                                   : win32_error_from_errno(error_number);
}

DWORD write_pieces(int target, int source, std::span<const std::uint8_t> source_bytes,
                   const pe::t_update_plan& plan) noexcept
{
    std::optional<pe::t_pe_checksum> checksum;
    if (plan.checksum_offset)
        checksum.emplace();
    bool kernel_copy = !checksum;
    for (const t_output_piece& piece : plan.pieces.pieces())
    {
        switch (piece.source)
        {
        case t_output_piece::t_source::memory:
            if (checksum)
                checksum->add(piece.bytes);
            if (!write_all(target, piece.bytes))
                return step_error(errno);
            break;
        case t_output_piece::t_source::zeros:
            if (checksum)
                checksum->add_zeros(piece.length);
            if (!write_zeros(target, piece.length))
                return step_error(errno);
            break;
        case t_output_piece::t_source::original:
        {
            if (kernel_copy)
            {
                const int copied =
                    copy_in_kernel(source, piece.original_offset, piece.length, target);
                if (copied < 0)
                    return step_error(errno);
                if (copied > 0)
                    break;
                kernel_copy = false;  // not on this file system: write from the mapping
            }
            if (!pe::range_fits(piece.original_offset, piece.length, source_bytes.size()))
                return ERROR_SHARING_VIOLATION;
            const auto bytes = source_bytes.subspan(static_cast<std::size_t>(piece.original_offset),
                                                    static_cast<std::size_t>(piece.length));
            if (checksum)
                checksum->add(bytes);
            if (!write_all(target, bytes))
                return step_error(errno);
            break;
        }
        }
    }
    if (checksum)
    {
        const std::uint32_t value = checksum->value();
        const std::uint8_t field[4] = {
            static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        if (::pwrite(target, field, sizeof(field), static_cast<off_t>(*plan.checksum_offset)) !=
            static_cast<ssize_t>(sizeof(field)))
            return step_error(errno);
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD write_module_file(const std::string& path, int source,
                        std::span<const std::uint8_t> source_bytes, const pe::t_update_plan& plan,
                        const struct stat& original) noexcept
{
    try
    {
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        std::string pattern =
            (folder.empty() ? std::string() : folder) + "/." + name + ".update-XXXXXX";
        io::t_unique_file_descriptor target(::mkostemp(pattern.data(), O_CLOEXEC));
        if (!target)
            return win32_error_from_errno(errno);
        t_temporary_file temporary(pattern);

        const DWORD written = write_pieces(target.get(), source, source_bytes, plan);
        if (written != ERROR_SUCCESS)
            return written;
        // The owner first: changing it clears set-user-ID bits that the mode then restores.
        if (original.st_uid != ::geteuid() || original.st_gid != ::getegid())
            (void)::fchown(target.get(), original.st_uid, original.st_gid);  // root only
        if (::fchmod(target.get(), original.st_mode & 07777) != 0 || ::fsync(target.get()) != 0)
            return win32_error_from_errno(errno);
        if (::rename(temporary.path().c_str(), path.c_str()) != 0)
            return win32_error_from_errno(errno);
        temporary.commit();

        // The rename is durable once the folder is flushed; it has happened either way, so a
        // failure to flush the folder is not the update's failure.
        io::t_unique_file_descriptor directory(
            ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory)
            (void)::fsync(directory.get());
        return ERROR_SUCCESS;
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace voka::platform
