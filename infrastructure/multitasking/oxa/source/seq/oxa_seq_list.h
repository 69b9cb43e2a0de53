// The intrusive doubly linked list of the sequential manager's queue and controller pool: a count
// and both ends; the links are the elements' own m_prev and m_next fields. The owner's lock
// guards every operation.
#pragma once

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

template <typename t_element>
struct oxa_seq_list
{
    std::uint32_t count = 0;
    t_element* first = nullptr;
    t_element* last = nullptr;

    void push_back(t_element* element) noexcept
    {
        element->m_prev = last;
        element->m_next = nullptr;
        if (last != nullptr)
            last->m_next = element;
        else
            first = element;
        last = element;
        ++count;
    }

    void push_front(t_element* element) noexcept
    {
        element->m_prev = nullptr;
        element->m_next = first;
        if (first != nullptr)
            first->m_prev = element;
        else
            last = element;
        first = element;
        ++count;
    }

    // `element` must be on this list.
    void unlink(t_element* element) noexcept
    {
        if (element->m_prev != nullptr)
            element->m_prev->m_next = element->m_next;
        else
            first = element->m_next;
        if (element->m_next != nullptr)
            element->m_next->m_prev = element->m_prev;
        else
            last = element->m_prev;
        element->m_prev = nullptr;
        element->m_next = nullptr;
        --count;
    }
};

}  // namespace voka::infrastructure::multitasking::oxa
