// A program for the registry tests that write from several processes: it writes keys and values
// through the Win32 functions, into the database named by VOKA_REGISTRY, and prints one line per
// finished step, so that a test can follow it and kill it at a chosen moment.
//
//   registry_writer_for_tests batch <name> <count>
//       creates HKCU\Software\Batch\<name>\k<i> for i < count, sets value "v<i>" of
//       HKCU\Software\Batch\Shared and of the key k<i> to "<name>:<i>"; prints "done" and exits 0,
//       or prints the failing step and exits 1.
//   registry_writer_for_tests endless
//       for i = 0, 1, ...: creates HKCU\Software\Endless\k<i> and sets its values "a", "b" and
//       "c" to a REG_BINARY of 4000 bytes that all equal i % 251 plus the value's letter, then
//       prints i. Never stops by itself.
//   registry_writer_for_tests churn <count>
//       sets and deletes value "b" of HKCU\Software\Churn <count> times (the key and its values
//       "a" and "c" must exist); prints "done" and exits 0.
#include "voka/win32.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

bool report(const char* step, LSTATUS error)
{
    if (error == ERROR_SUCCESS)
        return true;
    std::printf("failed: %s (%ld)\n", step, static_cast<long>(error));
    std::fflush(stdout);
    return false;
}

// Owns one key handle.
class t_key
{
public:
    t_key() = default;
    t_key(const t_key&) = delete;
    t_key& operator=(const t_key&) = delete;
    ~t_key()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    HKEY get() const noexcept { return m_key; }
    LSTATUS create(HKEY parent, const std::wstring& path)
    {
        return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                               nullptr);
    }

private:
    HKEY m_key = nullptr;
};

LSTATUS set_string(HKEY key, const std::wstring& name, const std::wstring& text)
{
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

int run_batch(const std::wstring& name, int count)
{
    t_key shared;
    if (!report("create shared", shared.create(HKEY_CURRENT_USER, L"Software\\Batch\\Shared")))
        return 1;
    for (int i = 0; i < count; ++i)
    {
        const std::wstring number = std::to_wstring(i);
        const std::wstring text = name + L":" + number;
        t_key key;
        if (!report("create",
                    key.create(HKEY_CURRENT_USER, L"Software\\Batch\\" + name + L"\\k" + number)) ||
            !report("set own", set_string(key.get(), L"v" + number, text)) ||
            !report("set shared", set_string(shared.get(), name + L"-v" + number, text)))
            return 1;
    }
    std::printf("done\n");
    return 0;
}

int run_endless()
{
    for (unsigned i = 0;; ++i)
    {
        t_key key;
        if (!report("create",
                    key.create(HKEY_CURRENT_USER, L"Software\\Endless\\k" + std::to_wstring(i))))
            return 1;
        for (const wchar_t letter : {L'a', L'b', L'c'})
        {
            const std::vector<BYTE> data(4000, static_cast<BYTE>(i % 251 + letter));
            const wchar_t name[] = {letter, L'\0'};
            if (!report("set", RegSetValueExW(key.get(), name, 0, REG_BINARY, data.data(),
                                              static_cast<DWORD>(data.size()))))
                return 1;
        }
        std::printf("%u\n", i);
        std::fflush(stdout);
    }
}

int run_churn(int count)
{
    t_key key;
    if (!report("create", key.create(HKEY_CURRENT_USER, L"Software\\Churn")))
        return 1;
    for (int i = 0; i < count; ++i)
        if (!report("set", set_string(key.get(), L"b", L"churn")) ||
            !report("delete", RegDeleteValueW(key.get(), L"b")))
            return 1;
    std::printf("done\n");
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "batch" && argc == 4)
    {
        const std::string name = argv[2];
        return run_batch(std::wstring(name.begin(), name.end()), std::atoi(argv[3]));
    }
    if (mode == "endless" && argc == 2)
        return run_endless();
    if (mode == "churn" && argc == 3)
        return run_churn(std::atoi(argv[2]));
    std::fprintf(stderr,
                 "usage: registry_writer_for_tests batch <name> <count> | endless | churn <count>\n");
    return 2;
}
