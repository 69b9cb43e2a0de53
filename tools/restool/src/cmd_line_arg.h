// One argument of a parsed command line: a name (empty for a free value) and a value.
#pragma once

#include "voka/infrastructure/core/raw_allocator.h"
#include "voka/infrastructure/core/smart_interface.h"
#include "voka/infrastructure/core/smart_interface_impl.h"

#include <string>
#include <utility>

namespace structure
{

// A counted argument object. The name is what followed the prefix character; the value is the
// token that followed the name, or empty when none did. Shared between the parser and its user.
template <typename t_char, typename t_allocator>
class t_basic_cmd_line_arg
    : public voka::lib::structure::t_basic_smart_interface_impl__dynamic<
          voka::infrastructure::core::structure::t_smart_interface, t_allocator>
{
public:
    using string_type = std::basic_string<t_char>;

    t_basic_cmd_line_arg(string_type name, string_type value)
        : m_name(std::move(name)), m_value(std::move(value))
    {
    }

    const string_type& name() const noexcept { return m_name; }
    const string_type& value() const noexcept { return m_value; }
    void set_value(string_type value) { m_value = std::move(value); }

private:
    string_type m_name;
    string_type m_value;
};

using t_cmd_line_arg = t_basic_cmd_line_arg<
    wchar_t, voka::lib::structure::t_raw_allocator<voka::lib::structure::t_void_allocator_adapter>>;

}  // namespace structure
