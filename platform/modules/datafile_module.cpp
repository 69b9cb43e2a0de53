// LoadLibraryExW for data files: maps the module file read-only, checks its headers with the PE
// reader (or, for an ELF shared object built here, finds its .voka_rsrc section), and registers
// its resource section with the resource functions under a handle of its own. The handle is the
// mapping's address with the low bit set, as Windows marks data-file handles (LDR_IS_DATAFILE); no
// other registration can have it, since the table's own handles are aligned addresses and the
// mapping lives as long as the registration.
#include "datafile_module.h"

#include "../io/file_path.h"
#include "../io/read_only_mapping.h"
#include "../io/unique_descriptor.h"
#include "../pe/pe_image.h"
#include "../pe/resource_update_model.h"
#include "../resources/resource_module_table.h"
#include "elf_resource_section.h"
#include "error_map.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unordered_map>

namespace voka::platform
{
namespace
{

// The data-file modules and what keeps their bytes: the mapping, shared with the resource view (a
// module without resources has no view, so the registry's reference is what keeps its mapping,
// and with it the address its handle is made of). Threading: every function may be called from
// any thread; m_lock guards m_modules and is never held while the resource table's lock is taken.
class t_datafile_registry
{
public:
    static t_datafile_registry& instance() noexcept
    {
        // Never destroyed: modules may be freed by static destructors of other files.
        union t_never_destroyed
        {
            t_datafile_registry registry;
            t_never_destroyed() : registry() {}
            ~t_never_destroyed() {}
        };
        static t_never_destroyed holder;
        return holder.registry;
    }

    void add(HMODULE module, std::shared_ptr<io::t_read_only_mapping> mapping)
    {
        const std::lock_guard lock(m_lock);
        m_modules.emplace(module, std::move(mapping));
    }

    // Unregisters `module` and hands over its mapping; null when it is not registered.
    std::shared_ptr<io::t_read_only_mapping> remove(HMODULE module) noexcept
    {
        const std::lock_guard lock(m_lock);
        const auto found = m_modules.find(module);
        if (found == m_modules.end())
            return nullptr;
        std::shared_ptr<io::t_read_only_mapping> mapping = std::move(found->second);
        m_modules.erase(found);
        return mapping;
    }

private:
    std::mutex m_lock;
    std::unordered_map<HMODULE, std::shared_ptr<io::t_read_only_mapping>> m_modules;  // m_lock
};

DWORD load_error(const std::string& path, int error_number) noexcept
{
    // Windows reports a missing folder on the path and a directory as a missing module.
    if (error_number == ENOENT || error_number == ENOTDIR || error_number == EISDIR)
        return ERROR_FILE_NOT_FOUND;
    return io::open_error(path, error_number);
}

// The resources of a PE module: its resource section, data found through the section table.
std::shared_ptr<const t_resource_view>
read_pe_resources(const std::shared_ptr<io::t_read_only_mapping>& mapping)
{
    const pe::t_pe_image image = pe::parse_pe_image(mapping->bytes());
    const std::optional<pe::t_resource_section_bytes> section =
        pe::find_resource_section(image, mapping->bytes());
    if (!section)
        return nullptr;
    return std::make_shared<const t_resource_view>(mapping, section->directory,
                                                   section->data_range);
}

// The resources of an ELF shared object: its .voka_rsrc section, laid out for RVA 0, so the data
// entries' RVAs are offsets within it.
std::shared_ptr<const t_resource_view>
read_elf_resources(const std::shared_ptr<io::t_read_only_mapping>& mapping)
{
    const std::optional<std::span<const std::uint8_t>> section =
        elf::find_elf_resource_section(mapping->bytes());
    if (!section)
        return nullptr;
    return std::make_shared<const t_resource_view>(mapping, *section, t_rva_range{0, *section});
}

HMODULE load_datafile(LPCWSTR file_name)
{
    const std::optional<std::string> path = io::path_to_utf8(file_name);
    if (!path)
        return fail_with(ERROR_INVALID_NAME, HMODULE{});
    if (path->empty())
        return fail_with(ERROR_FILE_NOT_FOUND, HMODULE{});

    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is then refused as no module.
    io::t_unique_file_descriptor descriptor(
        ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!descriptor)
        return fail_with(load_error(*path, errno), HMODULE{});
    struct stat status;
    if (::fstat(descriptor.get(), &status) != 0)
        return fail_with_errno(errno, HMODULE{});
    if (S_ISDIR(status.st_mode))
        return fail_with(ERROR_FILE_NOT_FOUND, HMODULE{});
    if (!S_ISREG(status.st_mode) || status.st_size == 0)
        return fail_with(ERROR_BAD_EXE_FORMAT, HMODULE{});

    auto mapping = std::make_shared<io::t_read_only_mapping>();
    if (!mapping->try_map(descriptor.get(), static_cast<std::uint64_t>(status.st_size)))
        return fail_with_errno(errno, HMODULE{});
    descriptor.reset();  // the mapping keeps the file's bytes

    std::shared_ptr<const t_resource_view> view;
    try
    {
        view = elf::has_elf_magic(mapping->bytes()) ? read_elf_resources(mapping)
                                                    : read_pe_resources(mapping);
    }
    catch (const elf::t_elf_format_error&)
    {
        return fail_with(ERROR_BAD_EXE_FORMAT, HMODULE{});
    }
    catch (const pe::t_pe_format_error&)
    {
        return fail_with(ERROR_BAD_EXE_FORMAT, HMODULE{});
    }
    catch (const t_resource_directory_error&)
    {
        return fail_with(ERROR_INVALID_DATA, HMODULE{});
    }

    const auto module =
        reinterpret_cast<HMODULE>(reinterpret_cast<std::uintptr_t>(mapping->address()) | 1u);
    if (!t_resource_module_table::instance().add(module, std::move(view)))
        throw std::logic_error("LoadLibraryExW: a live mapping's handle is registered already");
    try
    {
        t_datafile_registry::instance().add(module, std::move(mapping));
    }
    catch (...)
    {
        t_resource_module_table::instance().remove(module, t_resource_module_kind::loaded);
        throw;
    }
    return module;
}

}  // namespace

bool try_free_datafile_module(HMODULE module) noexcept
{
    // Held until the handle is out of the table, so that no new mapping at the same address can
    // make the same handle meanwhile.
    const std::shared_ptr<io::t_read_only_mapping> mapping =
        t_datafile_registry::instance().remove(module);
    if (!mapping)
        return false;
    // The view, and with it the mapping, goes with the last lookup that holds it.
    t_resource_module_table::instance().remove(module, t_resource_module_kind::loaded);
    return true;
}

HMODULE load_datafile_module(LPCWSTR file_name) noexcept
{
    try
    {
        return load_datafile(file_name);
    }
    catch (const std::bad_alloc&)
    {
        return fail_with(ERROR_NOT_ENOUGH_MEMORY, HMODULE{});
    }
    catch (...)
    {
        return fail_with(ERROR_GEN_FAILURE, HMODULE{});
    }
}

}  // namespace voka::platform
