// Writes VS_VERSIONINFO blocks, patching each block's length once its children are written.
#include "version_resource.h"

#include "utf_text.h"

#include <stdexcept>

namespace voka::rc
{
namespace
{

constexpr std::uint32_t k_fixed_info_signature = 0xFEEF04BD;
constexpr std::uint32_t k_fixed_info_struct_version = 0x00010000;
constexpr std::uint32_t k_file_flags_mask = 0x3F;             // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t k_file_os_nt_windows32 = 0x00040004;  // VOS_NT_WINDOWS32
constexpr std::uint32_t k_file_type_dll = 2;                  // VFT_DLL
constexpr std::uint16_t k_fixed_info_size = 52;
constexpr std::uint16_t k_language = 0x0409;
constexpr std::uint16_t k_code_page = 1200;

class t_version_writer
{
public:
    void u16(std::uint32_t value)
    {
        m_bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        m_bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    void u32(std::uint32_t value)
    {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    void text(std::u32string_view value)
    {
        append_utf16le(m_bytes, value);
        u16(0);
    }
    void align()
    {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
    }

    // Starts a block at the next 4-byte boundary: header and key, then aligned for the value.
    std::size_t begin(std::size_t value_length, std::uint16_t type, std::u32string_view key)
    {
        align();
        const std::size_t start = m_bytes.size();
        if (value_length > 0xFFFF)
            throw std::length_error("a version string is longer than 65534 UTF-16 units");
        u16(0);  // length, patched by end()
        u16(static_cast<std::uint32_t>(value_length));
        u16(type);
        text(key);
        align();
        return start;
    }
    void end(std::size_t start)
    {
        const std::size_t length = m_bytes.size() - start;
        if (length > 0xFFFF)
            throw std::length_error("the version resource is larger than 64 KiB");
        m_bytes[start] = static_cast<std::uint8_t>(length & 0xFF);
        m_bytes[start + 1] = static_cast<std::uint8_t>(length >> 8);
    }

    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

std::uint32_t high(const t_four_part_version& version)
{
    return (static_cast<std::uint32_t>(version.parts[0]) << 16) | version.parts[1];
}

std::uint32_t low(const t_four_part_version& version)
{
    return (static_cast<std::uint32_t>(version.parts[2]) << 16) | version.parts[3];
}

std::u32string decoded(const std::string& text)
{
    std::optional<std::u32string> result = decode_utf8(text);
    if (!result)
        throw std::invalid_argument("a version string is not valid UTF-8");
    return std::move(*result);
}

}  // namespace

std::vector<std::uint8_t> build_version_resource(const t_version_info& info)
{
    t_version_writer out;
    const std::size_t root = out.begin(k_fixed_info_size, 0, U"VS_VERSION_INFO");
    out.u32(k_fixed_info_signature);
    out.u32(k_fixed_info_struct_version);
    out.u32(high(info.file_version));
    out.u32(low(info.file_version));
    out.u32(high(info.product_version));
    out.u32(low(info.product_version));
    out.u32(k_file_flags_mask);
    out.u32(0);  // flags
    out.u32(k_file_os_nt_windows32);
    out.u32(k_file_type_dll);
    out.u32(0);  // subtype
    out.u32(0);  // date, high
    out.u32(0);  // date, low

    const std::size_t string_info = out.begin(0, 1, U"StringFileInfo");
    const std::size_t table = out.begin(0, 1, U"040904B0");
    for (const t_version_string& entry : info.strings)
    {
        const std::u32string value = decoded(entry.value);
        const std::size_t block = out.begin(utf16_length(value) + 1, 1, decoded(entry.key));
        out.text(value);
        out.end(block);
    }
    out.end(table);
    out.end(string_info);

    const std::size_t var_info = out.begin(0, 1, U"VarFileInfo");
    const std::size_t translation = out.begin(4, 0, U"Translation");
    out.u16(k_language);
    out.u16(k_code_page);
    out.end(translation);
    out.end(var_info);
    out.end(root);
    return out.take();
}

}  // namespace voka::rc
