// Measures a call through the COM gate's jump entry VOKA_OS__StringFromGUID2 against a direct
// call of the OLE32 stand-in's StringFromGUID2 (the floor: the same work without the gate), in one
// run. Both are called through the addresses GetProcAddress gives, as clients bind to them. The
// two variants run interleaved, several times each, and the fastest run of each counts.
#include "voka/win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

constexpr int k_calls = 2000000;
constexpr int k_runs = 15;

using t_clock = std::chrono::steady_clock;
using t_string_from_guid = int (*)(REFGUID, LPOLESTR, int);

constexpr GUID k_guid = {
    0xA7602B24, 0x06D8, 0x4111, {0xB5, 0xA1, 0xDA, 0xC3, 0x03, 0xA5, 0xCD, 0xB1}};

// Nanoseconds per call of `function`.
double ns_per_call(t_string_from_guid function)
{
    wchar_t buffer[40];
    int written = 0;
    const auto start = t_clock::now();
    for (int call = 0; call < k_calls; ++call)
        written += function(k_guid, buffer, 40);
    const auto elapsed = t_clock::now() - start;
    if (written != 39 * k_calls)
        std::fprintf(stderr, "unexpected result %d\n", written);
    return std::chrono::duration<double, std::nano>(elapsed).count() / k_calls;
}

}  // namespace

int main()
{
    const std::string gate_path = VOKA_BENCH_GATE_PATH;
    const std::wstring wide_gate_path(gate_path.begin(), gate_path.end());
    const HMODULE gate = LoadLibraryW(wide_gate_path.c_str());
    const std::string ole32_name = VOKA_BENCH_OLE32_FILE_NAME;
    const HMODULE ole32 =
        GetModuleHandleW(std::wstring(ole32_name.begin(), ole32_name.end()).c_str());
    if (gate == nullptr || ole32 == nullptr)
    {
        std::fprintf(stderr, "bench_gate: cannot load the gate (error %u)\n", GetLastError());
        return 1;
    }
    const auto direct =
        reinterpret_cast<t_string_from_guid>(GetProcAddress(ole32, "StringFromGUID2"));
    const auto through_gate =
        reinterpret_cast<t_string_from_guid>(GetProcAddress(gate, "VOKA_OS__StringFromGUID2"));
    if (direct == nullptr || through_gate == nullptr)
    {
        std::fprintf(stderr, "bench_gate: missing export\n");
        return 1;
    }

    ns_per_call(direct);  // warm up
    ns_per_call(through_gate);
    double direct_ns = 1e300;
    double gate_ns = 1e300;
    for (int run = 0; run < k_runs; ++run)
    {
        direct_ns = std::min(direct_ns, ns_per_call(direct));
        gate_ns = std::min(gate_ns, ns_per_call(through_gate));
    }
    std::printf("StringFromGUID2 direct:       %8.2f ns/call (floor, 1.00x)\n", direct_ns);
    std::printf("VOKA_OS__StringFromGUID2 gate: %8.2f ns/call (%.3fx the floor)\n", gate_ns,
                gate_ns / direct_ns);
    FreeLibrary(gate);
    std::printf("gate: direct_ns=%.2f gate_ns=%.2f overhead_ns=%.2f\n", direct_ns, gate_ns,
                gate_ns - direct_ns);
    return 0;
}
