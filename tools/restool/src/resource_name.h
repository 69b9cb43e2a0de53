// The name of one resource: a 16-bit integer identifier or a text name.
#pragma once

#include "voka/win32.h"

#include <cstdint>
#include <string>
#include <utility>

namespace tw
{

// Holds either an integer identifier or an owned copy of a text name, and hands the platform
// the resource-name pointer for it: the integer form (MAKEINTRESOURCEW) or the text.
class t_resource_name
{
public:
    t_resource_name() noexcept = default;

    void set_id(std::uint16_t id)
    {
        m_text.clear();
        m_id = id;
        m_is_text = false;
    }

    void set_text(std::wstring text)
    {
        m_text = std::move(text);
        m_id = 0;
        m_is_text = true;
    }

    bool is_text() const noexcept { return m_is_text; }
    std::uint16_t id() const noexcept { return m_id; }            // 0 for a text name
    const std::wstring& text() const noexcept { return m_text; }  // empty for an identifier

    // Valid while this object lives and is not changed.
    LPCWSTR get() const noexcept { return m_is_text ? m_text.c_str() : MAKEINTRESOURCEW(m_id); }

private:
    std::wstring m_text;
    std::uint16_t m_id = 0;
    bool m_is_text = false;
};

}  // namespace tw
