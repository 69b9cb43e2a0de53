// The error the PE reader and the updater's planner raise for a malformed module: names the
// on-disk structure that is wrong and its file offset. Portable code: no OS calls.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voka::platform::pe
{

// A malformed or truncated module, e.g.
// "IMAGE_SECTION_HEADER at offset 0x1b8: section data runs past the end of the file".
class t_pe_format_error : public std::runtime_error
{
public:
    t_pe_format_error(std::string_view structure, std::uint64_t offset, std::string_view problem);

    const std::string& structure() const noexcept { return m_structure; }
    std::uint64_t offset() const noexcept { return m_offset; }

private:
    std::string m_structure;
    std::uint64_t m_offset = 0;
};

}  // namespace voka::platform::pe
