// BeginUpdateResourceW, UpdateResourceW and EndUpdateResourceW. Begin opens, share-locks, maps and
// reads the module (headers and resource directory only; resource data stays in the file); Update
// changes the in-memory model; End plans the new file with the portable updater (platform/pe/) and
// hands it to the writer, which replaces the module only when the new file is complete on disk.
#include "../io/file_path.h"
#include "../io/file_share.h"
#include "../pe/resource_section_layout.h"
#include "../pe/resource_update_plan.h"
#include "error_map.h"
#include "module_file_writer.h"
#include "resource_update_session.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>

using namespace voka::platform;

namespace
{

// The session's module is read-only and held against writers: readers may share it.
constexpr io::t_share_request k_update_share{true, false, true, false};

struct t_free_deleter
{
    void operator()(char* text) const noexcept { std::free(text); }
};

// The module's real path: the file a symbolic link names is the one to replace.
std::optional<std::string> real_path(const std::string& path)
{
    const std::unique_ptr<char, t_free_deleter> resolved(::realpath(path.c_str(), nullptr));
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

HANDLE begin_update(LPCWSTR file_name, bool delete_existing)
{
    const std::optional<std::string> path = io::path_to_utf8(file_name);
    if (!path)
        return fail_with(ERROR_INVALID_NAME, HANDLE{});
    if (path->empty())
        return fail_with(ERROR_PATH_NOT_FOUND, HANDLE{});
    auto session = std::make_shared<t_resource_update_session>();
    const std::optional<std::string> resolved = real_path(*path);
    if (!resolved)
        return fail_with(io::open_error(*path, errno), HANDLE{});
    session->m_path = *resolved;

    // Opened for writing as well: a module the caller may not write cannot be updated.
    session->m_descriptor.reset(::open(session->m_path.c_str(), O_RDWR | O_CLOEXEC));
    if (!session->m_descriptor)
        return fail_with(io::open_error(session->m_path, errno), HANDLE{});
    const int descriptor = session->m_descriptor.get();
    if (::fstat(descriptor, &session->m_status) != 0)
        return fail_with_errno(errno, HANDLE{});
    if (S_ISDIR(session->m_status.st_mode))
        return fail_with(ERROR_ACCESS_DENIED, HANDLE{});
    if (!S_ISREG(session->m_status.st_mode) || session->m_status.st_size == 0)
        return fail_with(ERROR_BAD_EXE_FORMAT, HANDLE{});
    switch (io::claim_share_mode(descriptor, k_update_share))
    {
    case io::t_share_result::granted:
        break;
    case io::t_share_result::violation:
        return fail_with(ERROR_SHARING_VIOLATION, HANDLE{});
    case io::t_share_result::failed:
        return fail_with_errno(errno, HANDLE{});
    }
    if (!session->m_mapping.try_map(descriptor,
                                    static_cast<std::uint64_t>(session->m_status.st_size)))
        return fail_with_errno(errno, HANDLE{});

    try
    {
        const std::span<const std::uint8_t> bytes = session->m_mapping.bytes();
        session->m_image = pe::parse_pe_image(bytes);
        pe::check_updatable(session->m_image);
        if (!delete_existing)
            session->m_model =
                pe::t_resource_update_model(pe::read_update_tree(session->m_image, bytes));
        else if (session->m_image.data_directory(pe::k_resource_directory).is_present())
            session->m_model = pe::t_resource_update_model({}, true);
    }
    catch (const pe::t_pe_format_error&)
    {
        return fail_with(ERROR_BAD_EXE_FORMAT, HANDLE{});
    }
    catch (const t_resource_directory_error&)
    {
        return fail_with(ERROR_INVALID_DATA, HANDLE{});
    }
    return t_update_handle_table::instance().add(std::move(session));
}

// A type or name argument as a resource identifier: an integer resource, "#" and decimal digits
// (an integer), or a name, upper-cased. nullopt for what cannot be stored.
std::optional<t_resource_id> id_from_argument(LPCWSTR argument)
{
    if (IS_INTRESOURCE(argument))
        return t_resource_id(static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(argument)));
    const std::wstring_view text(argument);
    if (text.empty())
        return std::nullopt;
    if (text.front() == L'#')
    {
        if (text.size() == 1)
            return std::nullopt;
        std::uint32_t value = 0;
        for (const wchar_t digit : text.substr(1))
        {
            if (digit < L'0' || digit > L'9')
                return std::nullopt;
            value = value * 10 + static_cast<std::uint32_t>(digit - L'0');
            if (value > 0xFFFF)
                return std::nullopt;
        }
        return t_resource_id(static_cast<std::uint16_t>(value));
    }
    // On disk a name is at most 65535 UTF-16 units, and every character needs a UTF-16 form that
    // reads back as the same characters (a surrogate pair written as two characters would not).
    std::size_t units = 0;
    std::wstring name;
    name.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index)
    {
        const auto value = static_cast<std::uint32_t>(text[index]);
        if (value > 0x10FFFF)
            return std::nullopt;
        if (value >= 0xD800 && value <= 0xDBFF && index + 1 < text.size())
        {
            const auto next = static_cast<std::uint32_t>(text[index + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF)
                return std::nullopt;
        }
        units += value > 0xFFFF ? 2 : 1;
        name.push_back(upcase_resource_name_char(text[index]));
    }
    if (units > 0xFFFF)
        return std::nullopt;
    return t_resource_id(std::move(name));
}

DWORD update_failure_error(pe::t_update_failure failure) noexcept
{
    switch (failure)
    {
    case pe::t_update_failure::no_room_for_section_header:
        return ERROR_INSUFFICIENT_BUFFER;
    case pe::t_update_failure::image_too_large:
        return ERROR_FILE_TOO_LARGE;
    case pe::t_update_failure::unsupported_layout:
        break;
    }
    return ERROR_NOT_SUPPORTED;
}

// Whether the module on disk is still the file the session read: the same file under its path,
// of the same size and modification time.
bool is_unchanged(const t_resource_update_session& session) noexcept
{
    struct stat now;
    struct stat by_path;
    if (::fstat(session.m_descriptor.get(), &now) != 0 ||
        ::stat(session.m_path.c_str(), &by_path) != 0)
        return false;
    const struct stat& then = session.m_status;
    return now.st_dev == by_path.st_dev && now.st_ino == by_path.st_ino &&
           now.st_size == then.st_size && now.st_mtim.tv_sec == then.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == then.st_mtim.tv_nsec;
}

DWORD commit_update(const t_resource_update_session& session)
{
    pe::t_update_tree tree = session.m_model.tree();
    sort_resource_tree(tree);
    const std::span<const std::uint8_t> bytes = session.m_mapping.bytes();
    try
    {
        const pe::t_resource_placement placement =
            pe::place_resource_section(session.m_image, bytes);
        auto layout = std::make_shared<const pe::t_resource_section_layout>(
            pe::lay_out_resource_section(pe::extents_of(tree), placement.rva));
        const pe::t_piece_list section = pe::resource_section_pieces(tree, std::move(layout));
        const pe::t_update_plan plan =
            pe::plan_module_update(session.m_image, bytes, placement, section);
        if (!is_unchanged(session))
            return ERROR_SHARING_VIOLATION;
        return write_module_file(session.m_path, session.m_descriptor.get(), bytes, plan,
                                 session.m_status);
    }
    catch (const pe::t_pe_update_error& error)
    {
        return update_failure_error(error.failure());
    }
    catch (const pe::t_pe_format_error&)
    {
        return ERROR_BAD_EXE_FORMAT;
    }
    catch (const std::length_error&)
    {
        return ERROR_FILE_TOO_LARGE;  // the resource section passes 4 GiB of addresses
    }
}

}  // namespace

HANDLE WINAPI BeginUpdateResourceW(LPCWSTR file_name, BOOL delete_existing_resources)
{
    if (file_name == nullptr)
        return fail_with(ERROR_INVALID_PARAMETER, HANDLE{});
    try
    {
        return begin_update(file_name, delete_existing_resources != FALSE);
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HANDLE{});
    }
    catch (...)
    {
        return fail_with(ERROR_GEN_FAILURE, HANDLE{});
    }
}

BOOL WINAPI UpdateResourceW(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data,
                            DWORD size)
{
    const std::shared_ptr<t_resource_update_session> session =
        t_update_handle_table::instance().find(update);
    if (!session)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    if (type == nullptr || name == nullptr || (data == nullptr && size != 0))
        return fail_with(ERROR_INVALID_PARAMETER, FALSE);
    try
    {
        const std::optional<t_resource_id> type_id = id_from_argument(type);
        const std::optional<t_resource_id> name_id = id_from_argument(name);
        if (!type_id || !name_id)
            return fail_with(ERROR_INVALID_PARAMETER, FALSE);
        if (data == nullptr)
        {
            const std::lock_guard lock(session->m_lock);
            session->m_model.remove(*type_id, *name_id, language);
            return TRUE;
        }
        const auto* first = static_cast<const std::uint8_t*>(data);
        auto bytes = std::make_shared<const std::vector<std::uint8_t>>(first, first + size);
        const std::lock_guard lock(session->m_lock);
        session->m_model.put(*type_id, *name_id, language,
                             pe::t_update_leaf{0, size, 0, std::move(bytes)});
        return TRUE;
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
}

BOOL WINAPI EndUpdateResourceW(HANDLE update, BOOL discard)
{
    // The handle is released first, whatever follows.
    const std::shared_ptr<t_resource_update_session> session =
        t_update_handle_table::instance().remove(update);
    if (!session)
        return fail_with(ERROR_INVALID_HANDLE, FALSE);
    const std::lock_guard lock(session->m_lock);
    if (discard != FALSE || !session->m_model.is_modified())
        return TRUE;
    try
    {
        const DWORD error = commit_update(*session);
        if (error != ERROR_SUCCESS)
            return fail_with(error, FALSE);
        return TRUE;
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    catch (...)
    {
        return fail_with(ERROR_GEN_FAILURE, FALSE);
    }
}
