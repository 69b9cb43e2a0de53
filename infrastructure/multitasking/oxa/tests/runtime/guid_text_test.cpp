// The registry form of identifiers.
#include "runtime/guid_text.h"

#include <gtest/gtest.h>

namespace
{

using voka::infrastructure::multitasking::oxa::oxa_guid_registry_text;

TEST(OxaGuidTextTest, WritesTheRegistryForm)
{
    const GUID id{0xA7602B24, 0x06D8, 0x4111, {0xB5, 0xA1, 0xDA, 0xC3, 0x03, 0xA5, 0xCD, 0xB1}};
    EXPECT_EQ(oxa_guid_registry_text(id), L"{A7602B24-06D8-4111-B5A1-DAC303A5CDB1}");
    EXPECT_EQ(oxa_guid_registry_text(GUID_NULL), L"{00000000-0000-0000-0000-000000000000}");
    const GUID high{0xFFFFFFFF, 0xABCD, 0x0001, {0x0F, 0xF0, 0, 1, 0x10, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(oxa_guid_registry_text(high), L"{FFFFFFFF-ABCD-0001-0FF0-000110ABCDEF}");
}

}  // namespace
