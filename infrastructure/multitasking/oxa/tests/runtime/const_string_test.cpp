// Constant named strings: fixed text and length, one object per text, counting that never frees.
#include "runtime/const_string.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace
{

namespace oxa = voka::infrastructure::multitasking::oxa;

constexpr wchar_t k_done_event[] = L"oxa_task_seq__controller_impl::m_done_event";
constexpr wchar_t k_thread[] = L"Quorlink Task Thread";
constexpr wchar_t k_empty[] = L"";

TEST(OxaConstStringTest, HoldsItsTextAndLength)
{
    oxa::oxa_const_string* const done = &oxa::oxa_static_string<k_done_event>;
    EXPECT_STREQ(done->get_text(), L"oxa_task_seq__controller_impl::m_done_event");
    EXPECT_EQ(done->get_length(), std::wcslen(k_done_event));
    EXPECT_EQ(oxa::oxa_static_string<k_empty>.get_length(), 0u);
    EXPECT_STREQ(oxa::oxa_static_string<k_empty>.get_text(), L"");
    EXPECT_EQ(oxa::oxa_static_string<k_thread>.get_length(), 20u);
}

TEST(OxaConstStringTest, OneObjectPerText)
{
    EXPECT_EQ(&oxa::oxa_static_string<k_thread>, &oxa::oxa_static_string<k_thread>);
    EXPECT_NE(static_cast<const void*>(&oxa::oxa_static_string<k_thread>),
              static_cast<const void*>(&oxa::oxa_static_string<k_done_event>));
}

TEST(OxaConstStringTest, CountingNeverFreesTheObject)
{
    oxa::oxa_const_string* const name = &oxa::oxa_static_string<k_thread>;
    {
        voka::infrastructure::core::structure::t_smart_object_ptr<oxa::oxa_const_string> first(
            name);
        auto second = first;
    }
    name->release();  // below zero: still alive
    name->add_ref();
    EXPECT_STREQ(name->get_text(), L"Quorlink Task Thread");
    EXPECT_EQ(name->get_length(), 20u);
}

}  // namespace
