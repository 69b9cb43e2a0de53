// Fuzzes the resource updater end to end: writes the input to a temporary module file, begins an
// update, adds RCDATA 7 (its bytes taken from the input) and deletes RCDATA 1, and commits. A
// failure at any step must leave the file byte-identical to the input; a commit must leave a module
// that loads as a data file, holds the added resource with its bytes and not the deleted one.
// A broken promise aborts the target.
#include "voka/win32.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// A folder of its own for this process, in memory where there is one (fsync is then free);
// removed when the fuzzer exits.
class t_work_folder
{
public:
    t_work_folder()
    {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "voka-fuzz-pe-updater-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~t_work_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    t_work_folder(const t_work_folder&) = delete;
    t_work_folder& operator=(const t_work_folder&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }

private:
    std::filesystem::path m_path;
};

const std::filesystem::path& work_folder()
{
    static const t_work_folder folder;
    return folder.path();
}

std::vector<std::uint8_t> read_all(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream),
                                     std::istreambuf_iterator<char>());
}

std::wstring wide(const std::filesystem::path& path)
{
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path path = work_folder() / "module.bin";
    const std::vector<std::uint8_t> input(data, data + size);
    {
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::wstring name = wide(path);

    const HANDLE update = BeginUpdateResourceW(name.c_str(), FALSE);
    if (update == nullptr)
    {
        require(read_all(path) == input);
        return 0;
    }
    std::vector<std::uint8_t> payload(
        input.begin(),
        input.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(size, 48)));
    payload.push_back(0x5A);
    require(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(7), 0x409, payload.data(),
                            static_cast<DWORD>(payload.size())) != FALSE);
    require(UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409, nullptr, 0) != FALSE);
    if (EndUpdateResourceW(update, FALSE) == FALSE)
    {
        require(read_all(path) == input);
        return 0;
    }

    const HMODULE module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    require(module != nullptr);
    const HRSRC added = FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(7), 0x409);
    require(added != nullptr);
    require(SizeofResource(module, added) == payload.size());
    const auto* bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, added)));
    require(bytes != nullptr && std::equal(payload.begin(), payload.end(), bytes));
    require(FindResourceExW(module, RT_RCDATA, MAKEINTRESOURCEW(1), 0x409) == nullptr);
    require(FreeLibrary(module) != FALSE);
    return 0;
}
