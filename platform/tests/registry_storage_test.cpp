// The registry's storage on this host: where the database is, changes seen by other processes,
// two processes and several threads writing at once, a writer killed at any moment, and the
// Win32 errors of a database that is corrupt, foreign or cannot be created. These tests start
// the registry writer program (registry_writer_for_tests) as child processes.
#include "registry_test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace registry_test
{
namespace
{

using RegistryStorageTest = RegistryTest;

void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

TEST_F(RegistryStorageTest, TheDatabaseIsWhereTheEnvironmentSays)
{
    {
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Here");
    }
    EXPECT_TRUE(std::filesystem::exists(database_path()));

    const std::filesystem::path data_home = folder() / "data";
    {
        const t_scoped_environment no_registry("VOKA_REGISTRY", std::nullopt);
        const t_scoped_environment xdg("XDG_DATA_HOME", data_home.string());
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\InDataHome");
        EXPECT_TRUE(std::filesystem::exists(data_home / "voka" / "registry.db"));
    }
    {
        const t_scoped_environment no_registry("VOKA_REGISTRY", std::nullopt);
        const t_scoped_environment no_xdg("XDG_DATA_HOME", std::nullopt);
        const t_scoped_environment home("HOME", (folder() / "home").string());
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\InHome");
        EXPECT_TRUE(std::filesystem::exists(folder() / "home/.local/share/voka/registry.db"));
    }
    // Each database has its own keys.
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Here", key), ERROR_SUCCESS);
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\InHome", key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStorageTest, AHandleKeepsTheDatabaseItWasOpenedIn)
{
    const t_unique_hkey first = create_key(HKEY_CURRENT_USER, L"Software\\First");
    const t_scoped_environment other("VOKA_REGISTRY", (folder() / "other.db").string());
    ASSERT_EQ(set_dword(first.get(), L"v", 1), ERROR_SUCCESS);
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\First", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query_value(first.get(), L"v").error, ERROR_SUCCESS);
}

TEST_F(RegistryStorageTest, ChangesAreSeenByOtherProcessesAndTheirsByUs)
{
    const t_unique_hkey before = create_key(HKEY_CURRENT_USER, L"Software\\Batch\\Shared");
    ASSERT_EQ(set_string(before.get(), L"ours", L"0"), ERROR_SUCCESS);
    create_key(HKEY_CURRENT_USER, L"Software\\Batch\\one\\k2");
    // Listed once before the other process writes, so that nothing listed then is used again.
    EXPECT_EQ(value_names(before.get()), std::vector<std::wstring>{L"ours"});
    t_unique_hkey one;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Batch\\one", one), ERROR_SUCCESS);
    wchar_t name[8];
    DWORD size = 8;
    ASSERT_EQ(RegEnumKeyExW(one.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, size), L"k2");
    t_writer_process writer({"batch", "one", "3"});
    EXPECT_EQ(writer.read_line(), "done");
    EXPECT_EQ(writer.wait(), 0);
    // Through a handle opened before the other process wrote.
    EXPECT_EQ(query_value(before.get(), L"one-v2").bytes, string_bytes(L"one:2"));
    EXPECT_EQ(value_names(before.get()),
              (std::vector<std::wstring>{L"ours", L"one-v0", L"one-v1", L"one-v2"}));
    // The other process added k0 and k1 before k2: index 1 is k1 now.
    size = 8;
    ASSERT_EQ(RegEnumKeyExW(one.get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(name, size), L"k1");
}

TEST_F(RegistryStorageTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int k_count = 300;
    {
        t_writer_process first({"batch", "first", std::to_string(k_count)});
        t_writer_process second({"batch", "second", std::to_string(k_count)});
        EXPECT_EQ(first.read_line(), "done");
        EXPECT_EQ(second.read_line(), "done");
        EXPECT_EQ(first.wait(), 0);
        EXPECT_EQ(second.wait(), 0);
    }
    t_unique_hkey shared;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Batch\\Shared", shared, KEY_READ),
              ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyW(shared.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 2u * k_count);
    for (const std::wstring name : {L"first", L"second"})
    {
        t_unique_hkey own;
        ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Batch\\" + name, own, KEY_READ),
                  ERROR_SUCCESS);
        EXPECT_EQ(sub_key_names(own.get()).size(), static_cast<std::size_t>(k_count));
        for (int i = 0; i < k_count; ++i)
        {
            const std::wstring text = name + L":" + std::to_wstring(i);
            EXPECT_EQ(query_value(shared.get(), (name + L"-v" + std::to_wstring(i)).c_str()).bytes,
                      string_bytes(text));
            t_unique_hkey child;
            ASSERT_EQ(open_key(own.get(), L"k" + std::to_wstring(i), child, KEY_READ),
                      ERROR_SUCCESS);
            EXPECT_EQ(query_value(child.get(), (L"v" + std::to_wstring(i)).c_str()).bytes,
                      string_bytes(text));
        }
    }
}

// Checks the tree the endless writer leaves: every key it made is whole or absent, every value
// is whole, and the counts RegQueryInfoKeyW reports match what is listed. Returns the number of
// keys.
std::size_t check_endless_tree()
{
    t_unique_hkey root;
    const LSTATUS opened = open_key(HKEY_CURRENT_USER, L"Software\\Endless", root, KEY_READ);
    if (opened == ERROR_FILE_NOT_FOUND)
        return 0;
    EXPECT_EQ(opened, ERROR_SUCCESS);
    const std::vector<std::wstring> keys = sub_key_names(root.get());
    DWORD sub_keys = 0;
    EXPECT_EQ(RegQueryInfoKeyW(root.get(), nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sub_keys, keys.size());
    for (const std::wstring& name : keys)
    {
        t_unique_hkey key;
        EXPECT_EQ(open_key(root.get(), name, key, KEY_READ), ERROR_SUCCESS);
        const unsigned number = static_cast<unsigned>(std::stoul(name.substr(1)));
        const std::vector<std::wstring> values = value_names(key.get());
        DWORD count = 0;
        EXPECT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &count, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(count, values.size()) << "key " << number;
        // The values come in the order written, so only the last key may lack some.
        const std::vector<std::wstring> all{L"a", L"b", L"c"};
        EXPECT_EQ(values, std::vector<std::wstring>(all.begin(), all.begin() + values.size()));
        for (const std::wstring& value : values)
        {
            const t_value data = query_value(key.get(), value.c_str());
            EXPECT_EQ(data.type, REG_BINARY);
            EXPECT_EQ(data.bytes, std::vector<std::uint8_t>(
                                      4000, static_cast<std::uint8_t>(number % 251 + value[0])))
                << "key " << number << " value " << std::string(value.begin(), value.end());
        }
    }
    return keys.size();
}

TEST_F(RegistryStorageTest, AWriterKilledAtAnyMomentLeavesAConsistentRegistry)
{
    std::size_t keys_before = 0;
    for (int round = 0; round < 4; ++round)
    {
        t_writer_process writer({"endless"});
        // Kill it after a varying number of finished steps, in the middle of whatever comes next.
        const int steps = 20 + round * 37;
        std::optional<std::string> line;
        for (int i = 0; i < steps; ++i)
        {
            line = writer.read_line();
            ASSERT_TRUE(line.has_value()) << "the writer stopped early";
            ASSERT_NE(line->rfind("failed", 0), 0u) << *line;
        }
        writer.kill_now();
        EXPECT_EQ(writer.wait(), -1);
        const std::size_t keys = check_endless_tree();
        // Every step the writer reported finished is there.
        EXPECT_GE(keys, std::max<std::size_t>(keys_before, std::stoul(*line) + 1));
        keys_before = keys;
    }
    // The registry still takes writes.
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Endless\\after");
    EXPECT_EQ(set_dword(key.get(), L"v", 1), ERROR_SUCCESS);
}

TEST_F(RegistryStorageTest, AForkedChildCanUseTheRegistryAndItsParentGoesOn)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Fork");
    ASSERT_EQ(set_dword(key.get(), L"parent", 1), ERROR_SUCCESS);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0)
    {
        // Through a handle and a predefined key inherited from the parent. _exit: the parent's
        // store that the child inherited is never closed, by design, and a leak checker would
        // report it at a normal exit.
        const bool written = set_dword(key.get(), L"child", 2) == ERROR_SUCCESS &&
                             set_dword(HKEY_CURRENT_USER, L"child", 3) == ERROR_SUCCESS;
        ::_exit(written ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const DWORD two = 2;
    EXPECT_EQ(query_value(key.get(), L"child").bytes, bytes_of(&two, sizeof(two)));
    // The parent's connection still works, and what it writes reaches a connection opened now.
    ASSERT_EQ(set_dword(key.get(), L"after", 4), ERROR_SUCCESS);
    {
        const t_scoped_environment other("VOKA_REGISTRY", (folder() / "other.db").string());
        create_key(HKEY_CURRENT_USER, L"Software\\Elsewhere");
    }
    t_unique_hkey fresh;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Fork", fresh), ERROR_SUCCESS);
    EXPECT_EQ(value_names(fresh.get()), (std::vector<std::wstring>{L"parent", L"child", L"after"}));
    const DWORD three = 3;
    EXPECT_EQ(query_value(HKEY_CURRENT_USER, L"child").bytes, bytes_of(&three, sizeof(three)));
}

TEST_F(RegistryStorageTest, ThreadsWritingAtOnceLoseNothing)
{
    constexpr int k_threads = 4;
    constexpr int k_count = 200;
    std::atomic<int> failures{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < k_threads; ++t)
        threads.emplace_back(
            [t, &failures, &ready]
            {
                // Each thread opens its own handle to the shared key, then all start together.
                t_unique_hkey key;
                if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Threads", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
                    ++failures;
                ++ready;
                while (ready.load() < k_threads)
                    std::this_thread::yield();
                for (int i = 0; i < k_count; ++i)
                {
                    const std::wstring name = L"t" + std::to_wstring(t) + L"-" + std::to_wstring(i);
                    if (set_dword(key.get(), name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS)
                        ++failures;
                    t_unique_hkey child;
                    if (RegCreateKeyExW(key.get(), name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, child.put(), nullptr) != ERROR_SUCCESS)
                        ++failures;
                    wchar_t listed[64];
                    DWORD size = 64;
                    const LSTATUS listing =
                        RegEnumValueW(key.get(), static_cast<DWORD>(i), listed, &size, nullptr,
                                      nullptr, nullptr, nullptr);
                    if (listing != ERROR_SUCCESS)
                        ++failures;
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    t_unique_hkey key;
    ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\Threads", key, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(value_names(key.get()).size(), static_cast<std::size_t>(k_threads * k_count));
    EXPECT_EQ(sub_key_names(key.get()).size(), static_cast<std::size_t>(k_threads * k_count));
}

TEST_F(RegistryStorageTest, ListingValuesFollowsAnotherProcessThatDeletesThem)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Churn");
    ASSERT_EQ(set_string(key.get(), L"a", L"first"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key.get(), L"c", L"last"), ERROR_SUCCESS);
    t_writer_process writer({"churn", "3000"});
    // While the other process sets and deletes "b", every listing step finds a value or the end
    // of the list: a value that went between two steps is no damage.
    for (int round = 0; round < 3000; ++round)
        for (DWORD index = 0;; ++index)
        {
            wchar_t name[16];
            DWORD name_size = 16;
            const LSTATUS result = RegEnumValueW(key.get(), index, name, &name_size, nullptr,
                                                 nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            ASSERT_EQ(result, ERROR_SUCCESS) << "round " << round << ", index " << index;
        }
    EXPECT_EQ(writer.wait(), 0);
}

TEST_F(RegistryStorageTest, ACorruptOrForeignDatabaseGivesBadDb)
{
    const struct
    {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"text", std::string(5000, 'x')},
        {"a damaged SQLite header",
         std::string("SQLite format 3\0", 16) + std::string(4080, '\xFF')},
    };
    for (const auto& test : cases)
    {
        write_file(database_path(), test.bytes);
        t_unique_hkey key;
        EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software", key), ERROR_BADDB) << test.label;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.put(), nullptr),
                  ERROR_BADDB)
            << test.label;
        // The file is left alone: nobody's data is overwritten.
        std::ifstream file(database_path(), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), test.bytes) << test.label;
        std::filesystem::remove(database_path());
    }
}

TEST_F(RegistryStorageTest, ADatabaseDamagedBehindTheRegistryGivesBadDbNotACrash)
{
    {
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Damaged");
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(
                set_string(key.get(), (L"v" + std::to_wstring(i)).c_str(), std::wstring(50, L'd')),
                ERROR_SUCCESS);
    }
    {
        // Another database for a moment, so that this one is closed and its log folded in.
        const t_scoped_environment other("VOKA_REGISTRY", (folder() / "other.db").string());
        create_key(HKEY_CURRENT_USER, L"Software\\Elsewhere");
    }
    ASSERT_FALSE(std::filesystem::exists(database_path().string() + "-wal"));
    // Every page but the first (the schema) becomes garbage.
    std::fstream file(database_path(), std::ios::binary | std::ios::in | std::ios::out);
    const auto size = std::filesystem::file_size(database_path());
    ASSERT_GT(size, 4096u);
    file.seekp(1024);
    const std::string garbage(size - 1024, '\x5A');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    file.close();

    t_unique_hkey key;
    const LSTATUS opened = open_key(HKEY_CURRENT_USER, L"Software\\Damaged", key);
    EXPECT_EQ(opened, ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_BADDB);
}

TEST_F(RegistryStorageTest, AValueWhoseSizeDisagreesWithItsDataGivesBadDbNotAnOverflow)
{
    const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\Sizes");
    const std::vector<std::uint8_t> blob(600, 0xAB);
    ASSERT_EQ(set_bytes(key.get(), L"blob", REG_BINARY, blob.data(), 600), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key.get(), L"text", L"hello"), ERROR_SUCCESS);
    ASSERT_EQ(set_dword(key.get(), L"fine", 7), ERROR_SUCCESS);

    // Other hands change the stored sizes: one below its data, one above.
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(database_path().string().c_str(), &database), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(database,
                           "UPDATE vals SET size = 4 WHERE name = 'blob';"
                           "UPDATE vals SET size = size + 4 WHERE name = 'text';",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(database);

    for (const wchar_t* name : {L"blob", L"text"})
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        // The buffer is as large as the damaged size column says.
        std::vector<BYTE> buffer(64, 0);
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExW(key.get(), name, nullptr, &type, buffer.data(), &size),
                  ERROR_BADDB);
        EXPECT_EQ(RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size), ERROR_BADDB);
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key.get(), L"fine", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);

    // Listing reports the damaged values the same way and the sound one whole.
    int bad = 0;
    int good = 0;
    for (DWORD index = 0; index < 3; ++index)
    {
        wchar_t name[32];
        DWORD name_size = 32;
        std::vector<BYTE> buffer(64, 0);
        DWORD data_size = static_cast<DWORD>(buffer.size());
        const LSTATUS result = RegEnumValueW(key.get(), index, name, &name_size, nullptr, nullptr,
                                             buffer.data(), &data_size);
        if (result == ERROR_BADDB)
            ++bad;
        else if (result == ERROR_SUCCESS)
            ++good;
    }
    EXPECT_EQ(bad, 2);
    EXPECT_EQ(good, 1);
}

TEST_F(RegistryStorageTest, ALocationThatCannotBeCreatedGivesACleanError)
{
    write_file(folder() / "a file", "not a folder");
    const t_scoped_environment inside_a_file("VOKA_REGISTRY",
                                             (folder() / "a file" / "registry.db").string());
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software", key), ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(set_dword(HKEY_CURRENT_USER, L"v", 1), ERROR_REGISTRY_IO_FAILED);
    // A folder where the database should be.
    std::filesystem::create_directories(folder() / "a folder");
    const t_scoped_environment a_folder("VOKA_REGISTRY", (folder() / "a folder").string());
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software", key), ERROR_REGISTRY_IO_FAILED);
    // Predefined keys are handles that need no database to be given back.
    HKEY predefined = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &predefined), ERROR_SUCCESS);
}

TEST_F(RegistryStorageTest, AReadOnlyDatabaseGivesAccessDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind the superuser";
    {
        const t_unique_hkey key = create_key(HKEY_CURRENT_USER, L"Software\\ReadOnly");
        ASSERT_EQ(set_dword(key.get(), L"v", 1), ERROR_SUCCESS);
    }
    {
        const t_scoped_environment other("VOKA_REGISTRY", (folder() / "other.db").string());
        create_key(HKEY_CURRENT_USER, L"Software\\Elsewhere");
    }
    // The file is read-only: reading works, changing fails.
    std::filesystem::permissions(database_path(), std::filesystem::perms::owner_read);
    {
        t_unique_hkey key;
        ASSERT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\ReadOnly", key), ERROR_SUCCESS);
        EXPECT_EQ(query_value(key.get(), L"v").error, ERROR_SUCCESS);
        EXPECT_EQ(set_dword(key.get(), L"v", 2), ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteValueW(key.get(), L"v"), ERROR_ACCESS_DENIED);
        t_unique_hkey created;
        EXPECT_EQ(RegCreateKeyExW(key.get(), L"new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  created.put(), nullptr),
                  ERROR_ACCESS_DENIED);
    }
    {
        const t_scoped_environment other("VOKA_REGISTRY", (folder() / "other.db").string());
        create_key(HKEY_CURRENT_USER, L"Software\\Elsewhere");
    }
    // The folder is read-only too: the write-ahead log's files cannot be made, so the database
    // cannot be opened at all. (The read-only connection could not remove the empty log files
    // it made; without them nothing changes in the database.)
    std::filesystem::remove(database_path().string() + "-wal");
    std::filesystem::remove(database_path().string() + "-shm");
    std::filesystem::permissions(folder(), std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
    t_unique_hkey key;
    EXPECT_EQ(open_key(HKEY_CURRENT_USER, L"Software\\ReadOnly", key), ERROR_ACCESS_DENIED);
    std::filesystem::permissions(folder(), std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace registry_test
