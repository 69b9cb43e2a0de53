// The PE image checksum over pieces of a file.
#include "pe_checksum.h"

namespace voka::platform::pe
{

void t_pe_checksum::add(std::span<const std::uint8_t> bytes) noexcept
{
    std::size_t index = 0;
    // A piece that starts at an odd file offset completes the word begun by the previous one.
    if ((m_length & 1) != 0 && !bytes.empty())
    {
        m_sum += static_cast<std::uint64_t>(bytes[0]) << 8;
        index = 1;
    }
    // The sum of the words is the sum of their low bytes plus 256 times the sum of their high
    // bytes; two byte sums vectorise well. 64 bits cannot overflow before 2^48 words.
    std::uint64_t low_sum = 0;
    std::uint64_t high_sum = 0;
    for (; index + 1 < bytes.size(); index += 2)
    {
        low_sum += bytes[index];
        high_sum += bytes[index + 1];
    }
    if (index < bytes.size())
        low_sum += bytes[index];  // the low byte of a word the next piece completes
    m_sum += low_sum + (high_sum << 8);
    m_length += bytes.size();
}

void t_pe_checksum::add_zeros(std::uint64_t count) noexcept
{
    m_length += count;
}

std::uint32_t t_pe_checksum::value() const noexcept
{
    std::uint64_t sum = m_sum;
    while ((sum >> 16) != 0)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + m_length);
}

}  // namespace voka::platform::pe
