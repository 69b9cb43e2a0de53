// CreateFileW, ReadFile, WriteFile, GetFileSize and CloseHandle on files: every creation
// disposition with the last error it leaves, the error codes of bad paths, access rights, reads at
// the end of a file, and sizes past 4 GiB.
#include "file_test_support.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace voka::platform
{
namespace
{

using namespace test;

// Owns a file handle for one test.
class t_file
{
public:
    explicit t_file(HANDLE handle) noexcept : m_handle(handle) {}
    ~t_file()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    t_file(const t_file&) = delete;
    t_file& operator=(const t_file&) = delete;

    HANDLE get() const noexcept { return m_handle; }
    bool is_open() const noexcept { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

HANDLE open_file(const std::filesystem::path& path, DWORD access, DWORD disposition,
                 DWORD share = FILE_SHARE_READ)
{
    return CreateFileW(wide(path).c_str(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

const std::vector<std::uint8_t> k_old_content = {'o', 'l', 'd', ' ', 'd', 'a', 't', 'a'};

TEST(FileTest, DispositionsCreateOpenAndTruncateAsWindowsDoes)
{
    constexpr DWORD k_no_error = ERROR_SUCCESS;
    const struct
    {
        const char* label;
        bool exists;
        DWORD disposition;
        DWORD access;
        bool succeeds;
        DWORD last_error;   // after the call, success or not
        bool content_kept;  // the old bytes are still there (when the file existed)
        bool exists_afterwards;
    } cases[] = {
        {"CREATE_NEW, missing", false, CREATE_NEW, GENERIC_WRITE, true, k_no_error, false, true},
        {"CREATE_NEW, existing", true, CREATE_NEW, GENERIC_WRITE, false, ERROR_FILE_EXISTS, true,
         true},
        {"CREATE_ALWAYS, missing", false, CREATE_ALWAYS, GENERIC_WRITE, true, k_no_error, false,
         true},
        {"CREATE_ALWAYS, existing", true, CREATE_ALWAYS, GENERIC_WRITE, true, ERROR_ALREADY_EXISTS,
         false, true},
        {"OPEN_EXISTING, missing", false, OPEN_EXISTING, GENERIC_READ, false, ERROR_FILE_NOT_FOUND,
         false, false},
        {"OPEN_EXISTING, existing", true, OPEN_EXISTING, GENERIC_READ, true, k_no_error, true,
         true},
        {"OPEN_ALWAYS, missing", false, OPEN_ALWAYS, GENERIC_READ, true, k_no_error, false, true},
        {"OPEN_ALWAYS, existing", true, OPEN_ALWAYS, GENERIC_READ, true, ERROR_ALREADY_EXISTS, true,
         true},
        {"TRUNCATE_EXISTING, existing", true, TRUNCATE_EXISTING, GENERIC_WRITE, true, k_no_error,
         false, true},
        {"TRUNCATE_EXISTING, missing", false, TRUNCATE_EXISTING, GENERIC_WRITE, false,
         ERROR_FILE_NOT_FOUND, false, false},
        {"TRUNCATE_EXISTING without write access", true, TRUNCATE_EXISTING, GENERIC_READ, false,
         ERROR_INVALID_PARAMETER, true, true},
        {"disposition 0", true, 0, GENERIC_READ, false, ERROR_INVALID_PARAMETER, true, true},
        {"disposition 6", true, 6, GENERIC_READ, false, ERROR_INVALID_PARAMETER, true, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        const t_temp_folder folder;
        const auto path = folder / "file.bin";
        if (c.exists)
            write_all(path, k_old_content);
        SetLastError(1234);
        const t_file file(open_file(path, c.access, c.disposition));
        EXPECT_EQ(file.is_open(), c.succeeds);
        EXPECT_EQ(GetLastError(), c.last_error);
        EXPECT_EQ(std::filesystem::exists(path), c.exists_afterwards);
        if (c.exists_afterwards)
        {
            EXPECT_EQ(read_all(path),
                      c.exists && c.content_kept ? k_old_content : std::vector<std::uint8_t>{});
        }
    }
}

TEST(FileTest, BadPathsGiveTheWindowsErrorCodes)
{
    const t_temp_folder folder;
    write_all(folder / "file.bin", k_old_content);
    std::filesystem::create_directory(folder / "folder");
    const struct
    {
        const char* label;
        std::string path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {"missing file", (folder / "missing.bin").string(), GENERIC_READ, OPEN_EXISTING,
         ERROR_FILE_NOT_FOUND},
        {"missing folder, open", (folder / "missing" / "file.bin").string(), GENERIC_READ,
         OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"missing folder, create", (folder / "missing" / "file.bin").string(), GENERIC_WRITE,
         CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a file used as a folder", (folder / "file.bin" / "x").string(), GENERIC_READ,
         OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"directory, read", (folder / "folder").string(), GENERIC_READ, OPEN_EXISTING,
         ERROR_ACCESS_DENIED},
        {"directory, write", (folder / "folder").string(), GENERIC_WRITE, OPEN_EXISTING,
         ERROR_ACCESS_DENIED},
        {"directory, create", (folder / "folder").string(), GENERIC_WRITE, CREATE_ALWAYS,
         ERROR_ACCESS_DENIED},
        {"empty path", "", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        SetLastError(0);
        const std::wstring path(c.path.begin(), c.path.end());
        const t_file file(CreateFileW(path.c_str(), c.access, 0, nullptr, c.disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_FALSE(file.is_open());
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(FileTest, ReadOnlyFileRefusesWriteAccess)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    const t_temp_folder folder;
    const auto path = folder / "read_only.bin";
    write_all(path, k_old_content);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    const t_file file(open_file(path, GENERIC_WRITE, OPEN_EXISTING));
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    const t_file reader(open_file(path, GENERIC_READ, OPEN_EXISTING));
    EXPECT_TRUE(reader.is_open());
}

TEST(FileTest, UnsupportedArgumentsAreRefused)
{
    const t_temp_folder folder;
    const std::wstring path = wide(folder / "file.bin");
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    SECURITY_ATTRIBUTES plain{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const struct
    {
        const char* label;
        LPCWSTR path;
        DWORD access;
        DWORD share;
        LPSECURITY_ATTRIBUTES attributes;
        DWORD flags;
        DWORD error;
    } cases[] = {
        {"null path", nullptr, GENERIC_READ, 0, nullptr, 0, ERROR_INVALID_PARAMETER},
        {"unknown share bits", path.c_str(), GENERIC_READ, 0x100, nullptr, 0,
         ERROR_INVALID_PARAMETER},
        {"other access rights", path.c_str(), 0x10000000, 0, nullptr, 0, ERROR_NOT_SUPPORTED},
        {"inheritable handle", path.c_str(), GENERIC_READ, 0, &inheritable, 0, ERROR_NOT_SUPPORTED},
        {"other flags", path.c_str(), GENERIC_READ, 0, nullptr, 0x40000000, ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.label);
        const t_file file(
            CreateFileW(c.path, c.access, c.share, c.attributes, OPEN_ALWAYS, c.flags, nullptr));
        EXPECT_FALSE(file.is_open());
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "file.bin"));
    const t_file file(CreateFileW(path.c_str(), GENERIC_READ, 0, &plain, OPEN_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file.is_open());
}

TEST(FileTest, WrittenBytesReadBackAndTheEndOfTheFileReadsAsZeroBytes)
{
    const t_temp_folder folder;
    const auto path = folder / "data.bin";
    const std::string text = "hello, world";
    {
        const t_file file(open_file(path, GENERIC_WRITE, CREATE_NEW));
        ASSERT_TRUE(file.is_open());
        DWORD written = 99;
        ASSERT_TRUE(
            WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        EXPECT_EQ(written, text.size());
        ASSERT_TRUE(WriteFile(file.get(), text.data(), 0, &written, nullptr));
        EXPECT_EQ(written, 0u);
    }
    const t_file file(open_file(path, GENERIC_READ, OPEN_EXISTING));
    ASSERT_TRUE(file.is_open());
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file.get(), &high), text.size());
    EXPECT_EQ(high, 0u);
    std::string buffer(64, '\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file.get(), buffer.data(), 5, &read, nullptr));
    EXPECT_EQ(read, 5u);
    ASSERT_TRUE(ReadFile(file.get(), buffer.data() + 5, 64 - 5, &read, nullptr));
    EXPECT_EQ(read, text.size() - 5);  // the rest, fewer than asked
    EXPECT_EQ(buffer.substr(0, text.size()), text);
    read = 99;
    ASSERT_TRUE(ReadFile(file.get(), buffer.data(), 64, &read, nullptr));
    EXPECT_EQ(read, 0u);
}

TEST(FileTest, DevicesOpenForWritingWithEveryDispositionThatTruncates)
{
    if (!std::filesystem::exists("/dev/null") || !std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/null or /dev/full on this system";
    for (const DWORD disposition : {CREATE_ALWAYS, TRUNCATE_EXISTING, OPEN_ALWAYS})
    {
        SCOPED_TRACE(disposition);
        const t_file null_device(open_file("/dev/null", GENERIC_WRITE, disposition));
        ASSERT_TRUE(null_device.is_open()) << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(null_device.get(), "abc", 3, &written, nullptr));
        EXPECT_EQ(written, 3u);
    }
    // A full device opens too; its writes then fail the way a full disk does.
    const t_file full_device(open_file("/dev/full", GENERIC_WRITE, CREATE_ALWAYS));
    ASSERT_TRUE(full_device.is_open()) << GetLastError();
    DWORD written = 99;
    EXPECT_FALSE(WriteFile(full_device.get(), "abc", 3, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
}

TEST(FileTest, AccessRightsBindReadsAndWrites)
{
    const t_temp_folder folder;
    const auto path = folder / "data.bin";
    write_all(path, k_old_content);
    char buffer[8] = {};
    DWORD count = 99;
    {
        const t_file writer(open_file(path, GENERIC_WRITE, OPEN_EXISTING));
        ASSERT_TRUE(writer.is_open());
        EXPECT_FALSE(ReadFile(writer.get(), buffer, sizeof(buffer), &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(count, 0u);  // zeroed before anything else
    }
    {
        const t_file reader(open_file(path, GENERIC_READ, OPEN_EXISTING));
        ASSERT_TRUE(reader.is_open());
        count = 99;
        EXPECT_FALSE(WriteFile(reader.get(), buffer, sizeof(buffer), &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(count, 0u);
        EXPECT_FALSE(ReadFile(reader.get(), buffer, sizeof(buffer), nullptr, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_FALSE(ReadFile(reader.get(), nullptr, 4, &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
    }
    {
        const t_file both(open_file(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING));
        ASSERT_TRUE(both.is_open());
        EXPECT_TRUE(ReadFile(both.get(), buffer, 3, &count, nullptr));
        EXPECT_TRUE(WriteFile(both.get(), "NEW", 3, &count, nullptr));
    }
    EXPECT_EQ(read_all(path), (std::vector<std::uint8_t>{'o', 'l', 'd', 'N', 'E', 'W', 't', 'a'}));
}

TEST(FileTest, ClosedAndForeignHandlesAreInvalid)
{
    const t_temp_folder folder;
    const auto path = folder / "data.bin";
    write_all(path, k_old_content);
    const HANDLE file = open_file(path, GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    char buffer[4];
    DWORD count = 0;
    for (const HANDLE handle : {file, event, INVALID_HANDLE_VALUE, HANDLE{}})
    {
        EXPECT_FALSE(ReadFile(handle, buffer, sizeof(buffer), &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_FALSE(WriteFile(handle, buffer, sizeof(buffer), &count, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        DWORD high = 0;
        EXPECT_EQ(GetFileSize(handle, &high), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    CloseHandle(event);
}

TEST(FileTest, SizesPast4GiBReportTheirHighPart)
{
    const t_temp_folder folder;
    const auto path = folder / "sparse.bin";
    const struct
    {
        std::uint64_t size;
        DWORD low;
        DWORD high;
    } cases[] = {
        {0, 0, 0},
        {0xFFFFFFFEull, 0xFFFFFFFEu, 0},
        {0xFFFFFFFFull, 0xFFFFFFFFu, 0},
        {0x100000000ull, 0, 1},
        {0x100000005ull, 5, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.size);
        write_all(path, {});
        std::filesystem::resize_file(path, c.size);  // sparse: no disk space is used
        const t_file file(open_file(path, GENERIC_READ, OPEN_EXISTING));
        ASSERT_TRUE(file.is_open());
        SetLastError(1234);
        DWORD high = 99;
        EXPECT_EQ(GetFileSize(file.get(), &high), c.low);
        EXPECT_EQ(high, c.high);
        // A low part of 0xFFFFFFFF is told from a failure by the last error.
        if (c.low == INVALID_FILE_SIZE)
        {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
        }
        EXPECT_EQ(GetFileSize(file.get(), nullptr), c.low);  // the high part is lost
    }
}

}  // namespace
}  // namespace voka::platform
