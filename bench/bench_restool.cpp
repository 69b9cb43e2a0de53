// Benchmark of the resource tool on a large module: generates a 50 MB PE32+ module with 2,000
// RCDATA resources of 25 KiB, then measures in one run, each the median of several runs:
//   write: replacing one resource (`tarnwick -write`, a process of its own, start to exit);
//   copy:  copying the module to a new file (copy_file_range, as cp does): the floor for any
//          updater that writes a complete new file; also shown with fsync, which the updater does
//          to guarantee that a crash leaves the old module or the complete new one;
//   read:  reading one resource into a file (`tarnwick -read`);
// and the peak resident memory of a write (getrusage of the child; the module is generated in a
// child of its own, because Linux counts the parent's peak into that of a child it starts before
// the child's exec). When build/bin/tarnwick is not
// beside this program, the same operations run through the platform's Win32 functions in a child
// process (this program started again with --child-write or --child-read), and the output says so.
// The last line: restool: write_ms=W copy_ms=C read_ms=R write_ratio=W/C peak_rss_mb=M
// Usage: bench_restool [work-folder]   (default: a new folder in the temporary folder, removed)
#include "pe_test_image.h"
#include "voka/win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

using namespace voka::platform;
using namespace voka::platform::test;
using t_clock = std::chrono::steady_clock;

constexpr std::size_t k_resource_count = 2000;
constexpr std::size_t k_resource_size = 25 * 1024;
constexpr std::uint16_t k_language = 0x409;
constexpr std::uint16_t k_replaced_id = 1000;
constexpr int k_runs = 5;

std::vector<std::uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(stream),
                                     std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    if (!stream)
    {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void generate_module(const std::filesystem::path& path)
{
    t_test_image image;
    image.pe32_plus = true;
    t_resource_type_node<t_resource_blob> rcdata;
    rcdata.id = t_resource_id(std::uint16_t{10});
    for (std::size_t index = 0; index < k_resource_count; ++index)
        rcdata.names.push_back(
            {t_resource_id(static_cast<std::uint16_t>(index + 1)),
             {{k_language,
               {0, test_pattern(k_resource_size, static_cast<std::uint32_t>(index))}}}});
    image.resources.types.push_back(std::move(rcdata));
    image.sections = {{".text", k_scn_code, test_pattern(0x4000, 1)},
                      {".rdata", k_scn_rdata, test_pattern(0x2000, 2)},
                      {".rsrc", k_scn_rsrc, {}, 0, true},
                      {".reloc", k_scn_reloc, test_pattern(0x200, 3)}};
    write_file(path, build_test_image(image));
}

// A finished child process: its exit status, wall time and peak resident memory.
struct t_run
{
    int status = -1;
    double milliseconds = 0;
    double peak_rss_mb = 0;
};

t_run run_process(const std::vector<std::string>& arguments, bool quiet)
{
    std::vector<std::string> copies = arguments;
    std::vector<char*> vector;
    for (std::string& argument : copies)
        vector.push_back(argument.data());
    vector.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    t_run run;
    pid_t child = 0;
    const auto start = t_clock::now();
    const int spawned = ::posix_spawn(&child, vector[0], &actions, nullptr, vector.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    struct rusage usage = {};
    ::wait4(child, &status, 0, &usage);
    run.milliseconds = std::chrono::duration<double, std::milli>(t_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peak_rss_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    return run;
}

double copy_file(const std::filesystem::path& from, const std::filesystem::path& to, bool flush)
{
    const auto start = t_clock::now();
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int target = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (source < 0 || target < 0)
    {
        std::fprintf(stderr, "cannot copy %s\n", from.c_str());
        std::exit(1);
    }
    ssize_t count = 0;
    while ((count = ::copy_file_range(source, nullptr, target, nullptr, 1 << 30, 0)) > 0)
    {
    }
    if (flush)
        ::fsync(target);
    ::close(source);
    ::close(target);
    return std::chrono::duration<double, std::milli>(t_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The direct mode's child: what `tarnwick -write` does, through the platform's functions.
int child_write(const std::string& module, const std::string& payload_path)
{
    std::vector<std::uint8_t> payload = read_file(payload_path);
    const HANDLE update = BeginUpdateResourceW(wide(module).c_str(), FALSE);
    if (update == nullptr)
        return 1;
    if (!UpdateResourceW(update, L"#10", MAKEINTRESOURCEW(k_replaced_id), k_language, nullptr, 0) ||
        !UpdateResourceW(update, L"#10", MAKEINTRESOURCEW(k_replaced_id), k_language,
                         payload.data(), static_cast<DWORD>(payload.size())))
    {
        EndUpdateResourceW(update, TRUE);
        return 1;
    }
    return EndUpdateResourceW(update, FALSE) ? 0 : 1;
}

// The direct mode's child: what `tarnwick -read` does, through the platform's functions.
int child_read(const std::string& module, const std::string& output)
{
    const HMODULE handle = LoadLibraryExW(wide(module).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (handle == nullptr)
        return 1;
    int result = 1;
    const HRSRC resource =
        FindResourceExW(handle, L"#10", MAKEINTRESOURCEW(k_replaced_id), k_language);
    const void* bytes = resource ? LockResource(LoadResource(handle, resource)) : nullptr;
    if (bytes != nullptr)
    {
        const DWORD size = SizeofResource(handle, resource);
        const HANDLE file = CreateFileW(wide(output).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &written, nullptr) &&
            written == size)
            result = 0;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    FreeLibrary(handle);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--generate")
    {
        generate_module(argv[2]);
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--child-write")
        return child_write(argv[2], argv[3]);
    if (argc == 4 && std::string(argv[1]) == "--child-read")
        return child_read(argv[2], argv[3]);

    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    const std::filesystem::path tool = self.parent_path() / "tarnwick";
    const bool with_tool = ::access(tool.c_str(), X_OK) == 0;
    std::filesystem::path work;
    bool remove_work = false;
    if (argc > 1)
    {
        work = argv[1];
        std::filesystem::create_directories(work);
    }
    else
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench-restool-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        work = pattern;
        remove_work = true;
    }
    const std::filesystem::path module = work / "module.exe";
    const std::filesystem::path payload = work / "payload.bin";
    const std::filesystem::path copy = work / "copy.exe";
    const std::filesystem::path output = work / "read.bin";
    if (run_process({self.string(), "--generate", module.string()}, false).status != 0)
    {
        std::fprintf(stderr, "cannot generate the module\n");
        return 1;
    }
    const auto new_data = test_pattern(k_resource_size, 0xBEEF);
    write_file(payload, new_data);
    const double module_mb = static_cast<double>(std::filesystem::file_size(module)) / 1e6;
    std::printf("module: %.1f MB PE32+, %zu RCDATA resources of %zu bytes\n", module_mb,
                k_resource_count, k_resource_size);
    std::printf("%s\n", with_tool ? "write and read run build/bin/tarnwick"
                                  : "tarnwick not found beside the benchmark: write and read run "
                                    "the platform's updater and resource functions directly, in a "
                                    "child process");

    const std::string module_text = module.string();
    const std::string id_text = std::to_string(k_replaced_id);
    const std::string language_text = std::to_string(k_language);
    const std::vector<std::string> write_command =
        with_tool
            ? std::vector<std::string>{tool.string(), "-write",         "-module", module_text,
                                       "-file",       payload.string(), "-type",   "#10",
                                       "-id",         id_text,          "-lang",   language_text}
            : std::vector<std::string>{self.string(), "--child-write", module_text,
                                       payload.string()};
    const std::vector<std::string> read_command =
        with_tool
            ? std::vector<std::string>{tool.string(), "-read",         "-module", module_text,
                                       "-file",       output.string(), "-type",   "#10",
                                       "-id",         id_text,         "-lang",   language_text}
            : std::vector<std::string>{self.string(), "--child-read", module_text, output.string()};

    // Warm the page cache once, so that every measurement reads the module from memory.
    copy_file(module, copy, false);

    std::vector<double> write_ms;
    std::vector<double> copy_ms;
    std::vector<double> copy_flushed_ms;
    std::vector<double> read_ms;
    double peak_rss_mb = 0;
    bool failed = false;
    for (int run = 0; run < k_runs; ++run)
    {
        const t_run written = run_process(write_command, true);
        failed |= written.status != 0;
        write_ms.push_back(written.milliseconds);
        peak_rss_mb = std::max(peak_rss_mb, written.peak_rss_mb);
        copy_ms.push_back(copy_file(module, copy, false));
        copy_flushed_ms.push_back(copy_file(module, copy, true));
        std::filesystem::remove(output);
        const t_run read = run_process(read_command, true);
        failed |= read.status != 0 || read_file(output) != new_data;
        read_ms.push_back(read.milliseconds);
    }
    if (failed)
        std::printf("ERROR: a write or read failed or read back the wrong bytes\n");

    const double write = median(write_ms);
    const double copied = median(copy_ms);
    const double copied_flushed = median(copy_flushed_ms);
    const double read = median(read_ms);
    std::printf("write one resource: %8.1f ms  (median of %d)\n", write, k_runs);
    std::printf("copy (floor):       %8.1f ms  write/copy = %.2f (target at most 3)\n", copied,
                write / copied);
    std::printf("copy + fsync:       %8.1f ms  write/(copy + fsync) = %.2f\n", copied_flushed,
                write / copied_flushed);
    std::printf("read one resource:  %8.1f ms  (target at most 20 ms)\n", read);
    const double module_mib = module_mb * 1e6 / (1024.0 * 1024.0);
    std::printf("peak RSS of write:  %8.1f MB  (target at most module + 32 MB = %.1f MB)\n",
                peak_rss_mb, module_mib + 32);
    std::printf("restool: write_ms=%.1f copy_ms=%.1f read_ms=%.1f write_ratio=%.2f "
                "peak_rss_mb=%.1f\n",
                write, copied, read, write / copied, peak_rss_mb);
    if (remove_work)
        std::filesystem::remove_all(work);
    return failed ? 1 : 0;
}
