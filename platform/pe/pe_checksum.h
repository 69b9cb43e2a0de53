// The PE image checksum (the optional header's CheckSum, as ImageHlp's CheckSumMappedFile computes
// it), over a file fed in pieces. Portable code: no OS calls.
//
// The file is read as little-endian 16-bit words (an odd last byte is the low byte of a final
// word); the words are added with end-around carry into 16 bits, the checksum field itself counting
// as zero; the file's length is added to that sum. End-around-carry addition is associative, so
// the words are summed in 64 bits and folded once at the end, and pieces of any length (odd ones
// included) may be fed in order.
#pragma once

#include <cstdint>
#include <span>

namespace voka::platform::pe
{

class t_pe_checksum
{
public:
    // Feeds the next `bytes` of the file. The caller feeds the checksum field as zeros.
    void add(std::span<const std::uint8_t> bytes) noexcept;
    // Feeds `count` zero bytes.
    void add_zeros(std::uint64_t count) noexcept;

    // The checksum of everything fed so far, taken as the whole file.
    std::uint32_t value() const noexcept;

private:
    std::uint64_t m_sum = 0;     // of whole words; folded in value()
    std::uint64_t m_length = 0;  // bytes fed
};

}  // namespace voka::platform::pe
