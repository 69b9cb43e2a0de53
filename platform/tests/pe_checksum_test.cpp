// The PE checksum over pieces: equal to the textbook one-word-at-a-time computation for files of
// odd and even lengths, whatever the split into pieces (odd offsets included).
#include "pe/pe_checksum.h"
#include "pe_test_image.h"

#include <gtest/gtest.h>

namespace voka::platform
{
namespace
{

using namespace test;

std::uint32_t checksum_in_pieces(const std::vector<std::uint8_t>& file, std::size_t field,
                                 const std::vector<std::size_t>& cuts)
{
    auto zeroed = file;
    for (std::size_t i = field; i < field + 4 && i < zeroed.size(); ++i)
        zeroed[i] = 0;
    pe::t_pe_checksum checksum;
    std::size_t start = 0;
    for (std::size_t cut : cuts)
    {
        checksum.add(std::span<const std::uint8_t>(zeroed).subspan(start, cut - start));
        start = cut;
    }
    checksum.add(std::span<const std::uint8_t>(zeroed).subspan(start));
    return checksum.value();
}

TEST(PeChecksumTest, MatchesTheTextbookSumForAnySplit)
{
    const struct
    {
        std::size_t size;
        std::vector<std::size_t> cuts;
    } cases[] = {
        {0, {}},          {1, {}},
        {2, {1}},         {1001, {1, 2, 3, 500}},
        {4096, {4095}},   {100000, {3, 77, 4097, 65535, 65536}},
        {99999, {99998}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.size);
        const auto file = test_pattern(c.size, static_cast<std::uint32_t>(c.size));
        const std::size_t field = c.size > 100 ? 0x58 : c.size;
        EXPECT_EQ(checksum_in_pieces(file, field, c.cuts), textbook_checksum(file, field));
        EXPECT_EQ(checksum_in_pieces(file, field, {}), textbook_checksum(file, field));
    }
}

TEST(PeChecksumTest, ZerosFedAsCountsEqualZeroBytes)
{
    const auto head = test_pattern(333, 5);  // odd: the zeros start at an odd offset
    std::vector<std::uint8_t> whole = head;
    whole.resize(head.size() + 1000, 0);
    whole.push_back(0xAB);
    pe::t_pe_checksum checksum;
    checksum.add(head);
    checksum.add_zeros(1000);
    const std::uint8_t last = 0xAB;
    checksum.add(std::span<const std::uint8_t>(&last, 1));
    EXPECT_EQ(checksum.value(), textbook_checksum(whole, whole.size()));
}

TEST(PeChecksumTest, AllOnesFoldsToFfff)
{
    // Words summing to a multiple of 0xFFFF fold to 0xFFFF, not 0, in both computations.
    const std::vector<std::uint8_t> file(6, 0xFF);
    pe::t_pe_checksum checksum;
    checksum.add(file);
    EXPECT_EQ(checksum.value(), textbook_checksum(file, file.size()));
    EXPECT_EQ(checksum.value(), 0xFFFFu + 6);
}

}  // namespace
}  // namespace voka::platform
