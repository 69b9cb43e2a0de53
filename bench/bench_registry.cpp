// Measures the registry through the Win32 functions, through the COM gate's registry storage
// service, and against an in-memory std::map baseline, in one run: setting 20,000 REG_DWORD values
// under one key, querying them, and creating 2,000 sub keys. Each loop runs several times on
// fresh keys and the median counts. The gate is loaded as a client loads it (LoadLibraryW and
// GetProcAddress); the service's queries ask for the data, which it hands out in a task-allocator
// block that the loop frees, as a client does. The registry works on a
// database of its own in a temporary folder: when VOKA_REGISTRY is not set, the program runs
// itself again with it pointing there (std::system), so the user's registry is never touched.
//
// The last line gives the registry's rates through the Win32 functions and the service's
// overhead: how much longer the three loops take through the service, in percent.
#include "voka/infrastructure/os/windows/ole32/gate.h"
#include "voka/infrastructure/os/windows/ole32/registry_storage.h"
#include "voka/win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr int k_values = 20000;
constexpr int k_sub_keys = 2000;
constexpr int k_runs = 3;

// Targets for the registry, per second.
constexpr double k_set_target = 30000;
constexpr double k_query_target = 100000;
constexpr double k_create_target = 15000;

using t_clock = std::chrono::steady_clock;

double per_second(int count, t_clock::duration elapsed)
{
    return count / std::chrono::duration<double>(elapsed).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::wstring numbered(const wchar_t* prefix, int number)
{
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%05d", number);
    return prefix + std::wstring(digits);
}

[[noreturn]] void fail(const char* what, LSTATUS error)
{
    std::fprintf(stderr, "bench_registry: %s failed with %ld\n", what, static_cast<long>(error));
    std::exit(1);
}

// Owns one open key.
class t_key
{
public:
    t_key(HKEY parent, const std::wstring& path)
    {
        const LSTATUS error = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                              nullptr, &m_key, nullptr);
        if (error != ERROR_SUCCESS)
            fail("RegCreateKeyExW", error);
    }
    t_key(const t_key&) = delete;
    t_key& operator=(const t_key&) = delete;
    ~t_key() { RegCloseKey(m_key); }
    HKEY get() const noexcept { return m_key; }

private:
    HKEY m_key = nullptr;
};

struct t_rates
{
    double set = 0;
    double query = 0;
    double create = 0;
};

t_rates measure_registry(int run, const std::vector<std::wstring>& value_names,
                         const std::vector<std::wstring>& key_names)
{
    const t_key root(HKEY_CURRENT_USER, numbered(L"Software\\voka-bench\\run", run));
    const t_key values(root.get(), L"values");
    t_rates rates;

    auto start = t_clock::now();
    for (int i = 0; i < k_values; ++i)
    {
        const DWORD data = static_cast<DWORD>(i);
        const LSTATUS error = RegSetValueExW(values.get(), value_names[i].c_str(), 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&data), sizeof(data));
        if (error != ERROR_SUCCESS)
            fail("RegSetValueExW", error);
    }
    rates.set = per_second(k_values, t_clock::now() - start);

    start = t_clock::now();
    for (int i = 0; i < k_values; ++i)
    {
        DWORD data = 0;
        DWORD size = sizeof(data);
        DWORD type = 0;
        const LSTATUS error = RegQueryValueExW(values.get(), value_names[i].c_str(), nullptr, &type,
                                               reinterpret_cast<BYTE*>(&data), &size);
        if (error != ERROR_SUCCESS || data != static_cast<DWORD>(i))
            fail("RegQueryValueExW", error);
    }
    rates.query = per_second(k_values, t_clock::now() - start);

    const t_key parent(root.get(), L"keys");
    start = t_clock::now();
    for (int i = 0; i < k_sub_keys; ++i)
    {
        HKEY key = nullptr;
        const LSTATUS error = RegCreateKeyExW(parent.get(), key_names[i].c_str(), 0, nullptr, 0,
                                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (error != ERROR_SUCCESS)
            fail("RegCreateKeyExW", error);
        RegCloseKey(key);
    }
    rates.create = per_second(k_sub_keys, t_clock::now() - start);
    return rates;
}

// The registry storage service of the gate, loaded as a module.
namespace service = voka::infrastructure::os::voka_svcs::registry_storage;

struct t_gate
{
    HMODULE module = nullptr;
    decltype(&VOKA_OS__CoGetVokaService) get_service = nullptr;
    decltype(&VOKA_OS__CoTaskMemFree) task_free = nullptr;
};

void check(const char* what, HRESULT result)
{
    if (result != S_OK)
    {
        std::fprintf(stderr, "bench_registry: %s failed with 0x%08X\n", what,
                     static_cast<unsigned>(result));
        std::exit(1);
    }
}

// Owns one interface reference.
template <typename t_interface>
class t_ref
{
public:
    t_ref() noexcept = default;
    t_ref(const t_ref&) = delete;
    t_ref& operator=(const t_ref&) = delete;
    ~t_ref()
    {
        if (m_pointer != nullptr)
            m_pointer->Release();
    }
    t_interface* operator->() const noexcept { return m_pointer; }
    t_interface* get() const noexcept { return m_pointer; }
    void** put() noexcept { return reinterpret_cast<void**>(&m_pointer); }

private:
    t_interface* m_pointer = nullptr;
};

void open_storage(service::VOKA_IRegistryStorage* parent, const std::wstring& path,
                  t_ref<service::VOKA_IRegistryStorage>& storage)
{
    check("OpenSubStorage",
          parent->OpenSubStorage(path.c_str(), service::k_access_all, TRUE,
                                 service::IID_VOKA_IRegistryStorage, storage.put()));
}

t_rates measure_service(const t_gate& gate, int run, const std::vector<std::wstring>& value_names,
                        const std::vector<std::wstring>& key_names)
{
    t_ref<service::VOKA_IRegistryStorage> root_storage;
    check("VOKA_OS__CoGetVokaService",
          gate.get_service(service::k_registry_storage_service_id,
                           service::IID_VOKA_IRegistryStorage, root_storage.put()));
    t_ref<service::VOKA_IRegistryStorage> root;
    open_storage(root_storage.get(), numbered(L"HKCU\\Software\\voka-bench\\service", run), root);
    t_ref<service::VOKA_IRegistryStorage> values;
    open_storage(root.get(), L"values", values);
    t_rates rates;

    auto start = t_clock::now();
    for (int i = 0; i < k_values; ++i)
    {
        const DWORD data = static_cast<DWORD>(i);
        check("SetValue", values->SetValue(value_names[i].c_str(), service::k_kind_dword,
                                           sizeof(data), reinterpret_cast<const BYTE*>(&data)));
    }
    rates.set = per_second(k_values, t_clock::now() - start);

    start = t_clock::now();
    for (int i = 0; i < k_values; ++i)
    {
        DWORD kind = 0;
        DWORD size = 0;
        BYTE* data = nullptr;
        check("GetValue", values->GetValue(value_names[i].c_str(), &kind, &size, &data));
        DWORD number = 0;
        std::memcpy(&number, data, sizeof(number));
        gate.task_free(data);
        if (kind != service::k_kind_dword || number != static_cast<DWORD>(i))
            check("GetValue's data", E_FAIL);
    }
    rates.query = per_second(k_values, t_clock::now() - start);

    t_ref<service::VOKA_IRegistryStorage> parent;
    open_storage(root.get(), L"keys", parent);
    start = t_clock::now();
    for (int i = 0; i < k_sub_keys; ++i)
    {
        t_ref<service::VOKA_IRegistryStorage> key;
        open_storage(parent.get(), key_names[i], key);
    }
    rates.create = per_second(k_sub_keys, t_clock::now() - start);
    return rates;
}

t_gate load_gate()
{
    t_gate gate;
    const std::string path(VOKA_BENCH_GATE_PATH);
    gate.module = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    if (gate.module == nullptr)
        fail("LoadLibraryW of the gate", static_cast<LSTATUS>(GetLastError()));
    gate.get_service = reinterpret_cast<decltype(&VOKA_OS__CoGetVokaService)>(
        GetProcAddress(gate.module, "VOKA_OS__CoGetVokaService"));
    gate.task_free = reinterpret_cast<decltype(&VOKA_OS__CoTaskMemFree)>(
        GetProcAddress(gate.module, "VOKA_OS__CoTaskMemFree"));
    if (gate.get_service == nullptr || gate.task_free == nullptr)
        fail("GetProcAddress in the gate", static_cast<LSTATUS>(GetLastError()));
    return gate;
}

// The baseline: the same loops on std::map, with names folded to upper case as the registry
// compares them.
struct t_map_key
{
    std::map<std::wstring, DWORD> values;
    std::map<std::wstring, t_map_key> sub_keys;
};

std::wstring folded(const std::wstring& name)
{
    std::wstring upper = name;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return upper;
}

t_rates measure_map(const std::vector<std::wstring>& value_names,
                    const std::vector<std::wstring>& key_names)
{
    t_map_key root;
    t_rates rates;
    auto start = t_clock::now();
    for (int i = 0; i < k_values; ++i)
        root.values[folded(value_names[i])] = static_cast<DWORD>(i);
    rates.set = per_second(k_values, t_clock::now() - start);

    start = t_clock::now();
    DWORD sum = 0;
    for (int i = 0; i < k_values; ++i)
        sum += root.values.find(folded(value_names[i]))->second;
    rates.query = per_second(k_values, t_clock::now() - start);
    if (sum != static_cast<DWORD>(k_values) * (k_values - 1) / 2)
        fail("std::map baseline", 0);

    start = t_clock::now();
    for (int i = 0; i < k_sub_keys; ++i)
        root.sub_keys.try_emplace(folded(key_names[i]));
    rates.create = per_second(k_sub_keys, t_clock::now() - start);
    return rates;
}

void print_line(const char* loop, double registry, double baseline, double target)
{
    std::printf("%-8s registry %10.0f/s  std::map %12.0f/s  (map/registry %6.1fx)  target %6.0f/s "
                "(%.2fx, %s)\n",
                loop, registry, baseline, baseline / registry, target, registry / target,
                registry >= target ? "met" : "missed");
}

// Runs this program again with VOKA_REGISTRY in a fresh temporary folder.
int run_in_temporary_registry(const char* program)
{
    std::random_device random;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("voka-bench-registry-" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    const std::string command =
        "VOKA_REGISTRY='" + (folder / "registry.db").string() + "' '" + std::string(program) + "'";
    const int status = std::system(command.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status == 0 ? 0 : 1;
}

}  // namespace

int main(int /*argc*/, char* argv[])
{
    if (std::getenv("VOKA_REGISTRY") == nullptr)
        return run_in_temporary_registry(argv[0]);

    std::vector<std::wstring> value_names;
    std::vector<std::wstring> key_names;
    for (int i = 0; i < k_values; ++i)
        value_names.push_back(numbered(L"Value", i));
    for (int i = 0; i < k_sub_keys; ++i)
        key_names.push_back(numbered(L"Key", i));

    const t_gate gate = load_gate();
    std::vector<double> sets, queries, creates, map_sets, map_queries, map_creates;
    std::vector<double> svc_sets, svc_queries, svc_creates;
    for (int run = 0; run < k_runs; ++run)
    {
        const t_rates registry = measure_registry(run, value_names, key_names);
        const t_rates through_service = measure_service(gate, run, value_names, key_names);
        svc_sets.push_back(through_service.set);
        svc_queries.push_back(through_service.query);
        svc_creates.push_back(through_service.create);
        const t_rates baseline = measure_map(value_names, key_names);
        sets.push_back(registry.set);
        queries.push_back(registry.query);
        creates.push_back(registry.create);
        map_sets.push_back(baseline.set);
        map_queries.push_back(baseline.query);
        map_creates.push_back(baseline.create);
    }
    const double set = median(sets);
    const double query = median(queries);
    const double create = median(creates);
    std::printf("registry: %d REG_DWORD values under one key, %d sub keys; median of %d runs\n",
                k_values, k_sub_keys, k_runs);
    print_line("set", set, median(map_sets), k_set_target);
    print_line("query", query, median(map_queries), k_query_target);
    print_line("create", create, median(map_creates), k_create_target);
    // The service's overhead: the time of the three loops through it against their time through
    // the Win32 functions.
    const double svc_set = median(svc_sets);
    const double svc_query = median(svc_queries);
    const double svc_create = median(svc_creates);
    const auto loop_seconds = [](double set_rate, double query_rate, double create_rate)
    { return k_values / set_rate + k_values / query_rate + k_sub_keys / create_rate; };
    const double overhead =
        (loop_seconds(svc_set, svc_query, svc_create) / loop_seconds(set, query, create) - 1) * 100;
    std::printf("service  set %10.0f/s (%+.1f%%)  query %10.0f/s (%+.1f%%)  create %10.0f/s "
                "(%+.1f%%)  against the Win32 functions; target: at most +20%% in all\n",
                svc_set, (set / svc_set - 1) * 100, svc_query, (query / svc_query - 1) * 100,
                svc_create, (create / svc_create - 1) * 100);
    std::printf(
        "registry: set_per_s=%.0f query_per_s=%.0f create_per_s=%.0f svc_overhead_pct=%.1f\n", set,
        query, create, overhead);
    FreeLibrary(gate.module);
    return 0;
}
