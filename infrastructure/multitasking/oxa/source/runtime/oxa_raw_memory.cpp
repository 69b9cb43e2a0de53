// The private memory's live-block counter, the trace line and the leak line.
#include "runtime/oxa_raw_memory.h"

#include "voka/win32.h"

#include <atomic>
#include <new>
#include <string>

namespace voka::infrastructure::multitasking::oxa
{
namespace
{

// Blocks of oxa_raw_memory alive now; 0 when the library loads.
constinit std::atomic<std::int32_t> g_live_blocks{0};

}  // namespace

void* oxa_raw_memory::allocate(std::size_t size)
{
    void* const block = ::operator new(size);  // throws std::bad_alloc; the count stays
    g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void oxa_raw_memory::deallocate(void* block) noexcept
{
    if (block == nullptr)
        return;
    ::operator delete(block);
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
}

std::int32_t oxa_raw_memory::live_blocks() noexcept
{
    return g_live_blocks.load(std::memory_order_relaxed);
}

void oxa_trace(const wchar_t* text) noexcept
{
    try
    {
        std::wstring line = L"OXA_MT: ";
        if (text != nullptr)
            line += text;
        line += L'\n';
        ::OutputDebugStringW(line.c_str());
    }
    catch (...)  // no memory for the line: the trace is lost, as debug output may be
    {
    }
}

void oxa_report_leaks() noexcept
{
    const std::int32_t count = oxa_raw_memory::live_blocks();
    if (count == 0)
        return;
    try
    {
        const std::string line = "[voka.infrastructure.multitasking.oxa] Memory leaks: " +
                                 std::to_string(static_cast<std::uint32_t>(count)) + " block(s).\n";
        ::OutputDebugStringA(line.c_str());
    }
    catch (...)
    {
    }
}

}  // namespace voka::infrastructure::multitasking::oxa
