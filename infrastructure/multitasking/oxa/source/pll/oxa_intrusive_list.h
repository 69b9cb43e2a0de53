// The task managers' intrusive doubly linked lists: the links live in the elements (controllers,
// worker threads), so linking and unlinking allocate nothing and unlinking from the middle takes
// constant time. Elements enter at the newest end; callers take from the oldest end (FIFO) or
// the newest end (LIFO). An element is in at most one list at a time. Not thread-safe: each list
// is guarded by its owner's lock.
#pragma once

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

// The links an element carries: m_older towards the oldest end, m_newer towards the newest.
template <typename t_element>
struct oxa_list_links
{
    t_element* m_older = nullptr;
    t_element* m_newer = nullptr;
};

template <typename t_element>
class oxa_intrusive_list
{
public:
    oxa_intrusive_list() noexcept = default;
    oxa_intrusive_list(const oxa_intrusive_list&) = delete;
    oxa_intrusive_list& operator=(const oxa_intrusive_list&) = delete;

    std::uint32_t count() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    t_element* oldest() const noexcept { return m_oldest; }
    t_element* newest() const noexcept { return m_newest; }
    static t_element* older(const t_element* element) noexcept { return links(element).m_older; }
    static t_element* newer(const t_element* element) noexcept { return links(element).m_newer; }

    void push_newest(t_element* element) noexcept
    {
        auto& link = links(element);
        link.m_older = m_newest;
        link.m_newer = nullptr;
        if (m_newest != nullptr)
            links(m_newest).m_newer = element;
        else
            m_oldest = element;
        m_newest = element;
        ++m_count;
    }

    // Unlinks `element`, which must be in this list.
    void unlink(t_element* element) noexcept
    {
        auto& link = links(element);
        if (link.m_older != nullptr)
            links(link.m_older).m_newer = link.m_newer;
        else
            m_oldest = link.m_newer;
        if (link.m_newer != nullptr)
            links(link.m_newer).m_older = link.m_older;
        else
            m_newest = link.m_older;
        link.m_older = nullptr;
        link.m_newer = nullptr;
        --m_count;
    }

    // Unlinks and returns the oldest (FIFO) or newest (LIFO) element; null when empty.
    t_element* pop_oldest() noexcept { return pop(m_oldest); }
    t_element* pop_newest() noexcept { return pop(m_newest); }

private:
    static oxa_list_links<t_element>& links(t_element* element) noexcept { return *element; }
    static const oxa_list_links<t_element>& links(const t_element* element) noexcept
    {
        return *element;
    }

    t_element* pop(t_element* element) noexcept
    {
        if (element != nullptr)
            unlink(element);
        return element;
    }

    std::uint32_t m_count = 0;
    t_element* m_oldest = nullptr;
    t_element* m_newest = nullptr;
};

}  // namespace voka::infrastructure::multitasking::oxa
