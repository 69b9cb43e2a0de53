// Constant named strings: immutable wide texts behind a counted interface, used as the names of
// events, threads and tasks in messages. The static ones live for the whole time the library is
// loaded; their counting never frees them.
#pragma once

#include "voka/infrastructure/core/smart_interface.h"

#include <atomic>
#include <cstdint>

namespace voka::lib::structure
{

// Slots: add_ref, release, the length in characters, the zero-terminated text.
template <typename t_char>
class t_basic_const_string_data : public voka::infrastructure::core::structure::t_smart_interface
{
public:
    virtual std::uint32_t get_length() const noexcept = 0;
    virtual const t_char* get_text() const noexcept = 0;

protected:
    ~t_basic_const_string_data() = default;
};

// A counted object with static storage: a 64-bit count changed by compare-exchange that never
// destroys the object when it falls to zero.
template <typename t_base>
class t_basic_smart_interface_impl__static_v2 : public t_base
{
public:
    void add_ref() override { change_count(+1); }
    void release() override { change_count(-1); }

protected:
    constexpr t_basic_smart_interface_impl__static_v2() noexcept = default;
    ~t_basic_smart_interface_impl__static_v2() = default;

private:
    void change_count(std::int64_t delta) noexcept
    {
        std::int64_t current = m_count.load(std::memory_order_relaxed);
        while (!m_count.compare_exchange_weak(current, current + delta, std::memory_order_acq_rel))
        {
        }
    }

    std::atomic<std::int64_t> m_count{0};
};

// The constant string for `text` (a static zero-terminated array). Constant-initialised, so it is
// usable before any code of the library runs and needs no destruction order.
template <typename t_char, const t_char* text>
class t_basic_const_string_data__static final
    : public t_basic_smart_interface_impl__static_v2<t_basic_const_string_data<t_char>>
{
public:
    constexpr t_basic_const_string_data__static() noexcept : m_length(length_of(text)) {}

    std::uint32_t get_length() const noexcept override { return m_length; }
    const t_char* get_text() const noexcept override { return text; }

private:
    static constexpr std::uint32_t length_of(const t_char* value) noexcept
    {
        std::uint32_t length = 0;
        while (value[length] != t_char{})
            ++length;
        return length;
    }

    std::uint32_t m_length;
};

}  // namespace voka::lib::structure

namespace voka::infrastructure::multitasking::oxa
{

using oxa_const_string = voka::lib::structure::t_basic_const_string_data<wchar_t>;

// The static constant string of `text`: one object per text.
// Usage: static constexpr wchar_t k_name[] = L"..."; oxa_const_string* name = &oxa_static_string<k_name>;
template <const wchar_t* text>
inline constinit voka::lib::structure::t_basic_const_string_data__static<wchar_t, text>
    oxa_static_string{};

}  // namespace voka::infrastructure::multitasking::oxa
