// A bound callable: a target object, one of its member functions, three spare words and an
// invoker that knows the target's real type. The engine uses it for thread bodies and for the
// functions of static tasks, so that neither needs a heap-allocated closure.
#pragma once

#include <cstdint>

namespace voka::infrastructure::multitasking::oxa
{

namespace detail
{
// The class every bound member-function pointer is stored as; never instantiated.
class oxa_bound_any
{
};
}  // namespace detail

template <typename t_signature>
class oxa_bound_callable;

// Calls `method` on `target` with the call's arguments. The member-function pointer is kept as a
// pointer of the same signature on a neutral class and cast back by the invoker, which the binding
// instantiates for the target's real class (a round trip that keeps the value).
//
//     auto body = oxa_bound_callable<void(void*)>::bind(this, &t_owner::thread_body);
//     body(context);
template <typename t_result, typename... t_args>
class oxa_bound_callable<t_result(t_args...)>
{
public:
    using invoker_type = t_result (*)(const oxa_bound_callable&, t_args...);

    constexpr oxa_bound_callable() noexcept = default;

    template <typename t_target>
    static oxa_bound_callable bind(t_target* target,
                                   t_result (t_target::*method)(t_args...)) noexcept
    {
        oxa_bound_callable callable;
        callable.m_target = target;
        callable.m_method = reinterpret_cast<any_method>(method);
        callable.m_invoker = &invoke<t_target>;
        return callable;
    }

    // True when one of the target, the method and the spare words is set and the invoker is.
    bool is_set() const noexcept
    {
        const bool any_word = m_target != nullptr || m_method != nullptr || m_spare[0] != 0 ||
                              m_spare[1] != 0 || m_spare[2] != 0;
        return any_word && m_invoker != nullptr;
    }

    // Calls the bound function; the callable must be set.
    t_result operator()(t_args... args) const { return m_invoker(*this, args...); }

    void* target() const noexcept { return m_target; }

private:
    using any_method = t_result (detail::oxa_bound_any::*)(t_args...);

    template <typename t_target>
    static t_result invoke(const oxa_bound_callable& self, t_args... args)
    {
        const auto method = reinterpret_cast<t_result (t_target::*)(t_args...)>(self.m_method);
        return (static_cast<t_target*>(self.m_target)->*method)(args...);
    }

    void* m_target = nullptr;
    any_method m_method = nullptr;
    std::uintptr_t m_spare[3] = {0, 0, 0};  // free for the binder; the engine leaves them zero
    invoker_type m_invoker = nullptr;
};

}  // namespace voka::infrastructure::multitasking::oxa
