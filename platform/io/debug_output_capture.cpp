// The registry of live debug-output captures and their storage.
//
// Live captures form a doubly linked list through their own links, so registering
// allocates nothing. The list and its lock are constant-initialized and trivially
// destructible: debug output written while the process exits (a module's shutdown
// report, say) still finds a valid, empty registry.
//
// Lock order: the registry lock, then a capture's m_texts_lock. A capture leaves the
// list under the registry lock, so a delivery in progress always finishes with it
// before its destructor returns.
#include "voka/platform/debug_output_capture.h"

#include <new>

namespace voka::platform
{
namespace
{

constinit std::mutex g_registry_lock;
constinit t_debug_output_capture* g_first_capture = nullptr;  // guarded by g_registry_lock

}  // namespace

t_debug_output_capture::t_debug_output_capture() noexcept
{
    const std::lock_guard<std::mutex> registry_guard(g_registry_lock);
    m_next = g_first_capture;
    if (m_next != nullptr)
        m_next->m_previous = this;
    g_first_capture = this;
}

t_debug_output_capture::~t_debug_output_capture()
{
    const std::lock_guard<std::mutex> registry_guard(g_registry_lock);
    if (m_previous != nullptr)
        m_previous->m_next = m_next;
    else
        g_first_capture = m_next;
    if (m_next != nullptr)
        m_next->m_previous = m_previous;
}

std::vector<std::string> t_debug_output_capture::texts() const
{
    const std::lock_guard<std::mutex> guard(m_texts_lock);
    return m_texts;
}

std::string t_debug_output_capture::joined_text() const
{
    const std::lock_guard<std::mutex> guard(m_texts_lock);
    std::string joined;
    for (const std::string& text : m_texts)
        joined += text;
    return joined;
}

std::size_t t_debug_output_capture::count() const
{
    const std::lock_guard<std::mutex> guard(m_texts_lock);
    return m_texts.size();
}

void t_debug_output_capture::clear()
{
    const std::lock_guard<std::mutex> guard(m_texts_lock);
    m_texts.clear();
}

bool t_debug_output_capture::wait_for_count(std::size_t count,
                                            std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> guard(m_texts_lock);
    return m_texts_changed.wait_for(guard, timeout, [&] { return m_texts.size() >= count; });
}

void t_debug_output_capture::helper__append(std::string_view text) noexcept
{
    {
        const std::lock_guard<std::mutex> guard(m_texts_lock);
        try
        {
            m_texts.emplace_back(text);
        }
        catch (const std::bad_alloc&)
        {
            // Out of memory the text is lost, as it would be on its way to a debugger.
            return;
        }
    }
    m_texts_changed.notify_all();
}

namespace io
{

bool deliver_to_debug_output_captures(std::string_view text) noexcept
{
    const std::lock_guard<std::mutex> registry_guard(g_registry_lock);
    for (t_debug_output_capture* capture = g_first_capture; capture != nullptr;
         capture = capture->m_next)
        capture->helper__append(text);
    return g_first_capture != nullptr;
}

}  // namespace io

}  // namespace voka::platform
