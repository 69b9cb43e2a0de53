// The on-disk records of the PE resource directory, one struct each, with their packed bits behind
// named accessors, and the functions that read them through t_byte_reader and write them through
// t_byte_writer. Field layouts follow winnt.h; all values are little-endian.
#pragma once

#include "byte_io.h"

#include <cstdint>

namespace voka::platform::codec
{

inline constexpr std::uint32_t k_high_bit = 0x80000000u;

inline constexpr std::string_view k_directory_name = "IMAGE_RESOURCE_DIRECTORY";
inline constexpr std::string_view k_entry_name = "IMAGE_RESOURCE_DIRECTORY_ENTRY";
inline constexpr std::string_view k_string_name = "IMAGE_RESOURCE_DIR_STRING_U";
inline constexpr std::string_view k_data_entry_name = "IMAGE_RESOURCE_DATA_ENTRY";

// IMAGE_RESOURCE_DIRECTORY: the header of one table; its entries follow it directly.
struct t_directory_record
{
    static constexpr std::uint64_t k_size = 16;

    std::uint32_t characteristics = 0;
    std::uint32_t time_date_stamp = 0;
    std::uint16_t major_version = 0;
    std::uint16_t minor_version = 0;
    std::uint16_t named_entry_count = 0;  // the named entries come first
    std::uint16_t id_entry_count = 0;

    std::uint32_t entry_count() const noexcept
    {
        return std::uint32_t{named_entry_count} + id_entry_count;
    }
};

// IMAGE_RESOURCE_DIRECTORY_ENTRY: an identifier and what it leads to.
struct t_entry_record
{
    static constexpr std::uint64_t k_size = 8;

    std::uint32_t name = 0;            // high bit: name string offset, else the integer id
    std::uint32_t offset_to_data = 0;  // high bit: subdirectory offset, else data entry offset

    bool is_named() const noexcept { return (name & k_high_bit) != 0; }
    std::uint32_t name_offset() const noexcept { return name & ~k_high_bit; }
    std::uint32_t integer_id() const noexcept { return name; }
    bool is_subdirectory() const noexcept { return (offset_to_data & k_high_bit) != 0; }
    std::uint32_t target_offset() const noexcept { return offset_to_data & ~k_high_bit; }

    static t_entry_record make(bool named, std::uint32_t name_or_id, bool subdirectory,
                               std::uint32_t target) noexcept
    {
        return {named ? (name_or_id | k_high_bit) : name_or_id,
                subdirectory ? (target | k_high_bit) : target};
    }
};

// IMAGE_RESOURCE_DATA_ENTRY: where a resource's bytes are.
struct t_data_entry_record
{
    static constexpr std::uint64_t k_size = 16;

    std::uint32_t data_rva = 0;
    std::uint32_t size = 0;
    std::uint32_t code_page = 0;
    std::uint32_t reserved = 0;
};

// IMAGE_RESOURCE_DIR_STRING_U: a 16-bit count of UTF-16 units, then the units (no terminator).
inline constexpr std::uint64_t k_string_header_size = 2;

inline t_directory_record read_directory_record(const t_byte_reader& reader, std::uint64_t offset)
{
    const t_record_bytes bytes =
        reader.record(offset, t_directory_record::k_size, k_directory_name);
    t_directory_record record;
    record.characteristics = bytes.u32(0);
    record.time_date_stamp = bytes.u32(4);
    record.major_version = bytes.u16(8);
    record.minor_version = bytes.u16(10);
    record.named_entry_count = bytes.u16(12);
    record.id_entry_count = bytes.u16(14);
    return record;
}

inline t_entry_record read_entry_record(const t_byte_reader& reader, std::uint64_t offset)
{
    const t_record_bytes bytes = reader.record(offset, t_entry_record::k_size, k_entry_name);
    return {bytes.u32(0), bytes.u32(4)};
}

inline t_data_entry_record read_data_entry_record(const t_byte_reader& reader, std::uint64_t offset)
{
    const t_record_bytes bytes =
        reader.record(offset, t_data_entry_record::k_size, k_data_entry_name);
    return {bytes.u32(0), bytes.u32(4), bytes.u32(8), bytes.u32(12)};
}

inline void write_directory_record(t_byte_writer& writer, std::uint64_t offset,
                                   const t_directory_record& record)
{
    writer.put32(offset, record.characteristics);
    writer.put32(offset + 4, record.time_date_stamp);
    writer.put16(offset + 8, record.major_version);
    writer.put16(offset + 10, record.minor_version);
    writer.put16(offset + 12, record.named_entry_count);
    writer.put16(offset + 14, record.id_entry_count);
}

inline void write_entry_record(t_byte_writer& writer, std::uint64_t offset,
                               const t_entry_record& record)
{
    writer.put32(offset, record.name);
    writer.put32(offset + 4, record.offset_to_data);
}

inline void write_data_entry_record(t_byte_writer& writer, std::uint64_t offset,
                                    const t_data_entry_record& record)
{
    writer.put32(offset, record.data_rva);
    writer.put32(offset + 4, record.size);
    writer.put32(offset + 8, record.code_page);
    writer.put32(offset + 12, record.reserved);
}

}  // namespace voka::platform::codec
