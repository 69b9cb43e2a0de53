// Exceptions that carry error records: sharing across copies, record collections,
// what() texts and raise().
#include "voka/infrastructure/core/cmd_line_parser_error_traits.h"
#include "voka/infrastructure/core/err_exception_with_params.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace
{

using structure::t_cmd_line_parser_err_record;
using structure::t_err_exception_with_params;
using voka::infrastructure::core::structure::make_smart;
using voka::infrastructure::core::structure::t_exception;

// A parser record that counts the references held to it.
class t_counting_record : public t_cmd_line_parser_err_record
{
public:
    static inline int references = 0;
    static inline int destructions = 0;

    explicit t_counting_record(std::int32_t code) : t_cmd_line_parser_err_record(code) {}
    ~t_counting_record() override { ++destructions; }

    void add_ref() override
    {
        ++references;
        t_cmd_line_parser_err_record::add_ref();
    }
    void release() override
    {
        --references;
        t_cmd_line_parser_err_record::release();
    }
};

using t_counting_exception = t_err_exception_with_params<t_counting_record, wchar_t>;
using t_parser_exception = t_err_exception_with_params<t_cmd_line_parser_err_record, wchar_t>;

class ExceptionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t_counting_record::references = 0;
        t_counting_record::destructions = 0;
    }
};

TEST_F(ExceptionTest, CopiesShareTheRecordWithTwoReferencesEach)
{
    {
        t_counting_exception original(4);
        EXPECT_EQ(t_counting_record::references, 2);
        {
            t_counting_exception first_copy(original);
            t_counting_exception second_copy(first_copy);
            EXPECT_EQ(t_counting_record::references, 6);
            EXPECT_EQ(first_copy.get_record(0).get(), original.get_record(0).get());
            EXPECT_EQ(second_copy.current_record(), original.current_record());
        }
        EXPECT_EQ(t_counting_record::references, 2);
        EXPECT_EQ(t_counting_record::destructions, 0);
    }
    EXPECT_EQ(t_counting_record::references, 0);
    EXPECT_EQ(t_counting_record::destructions, 1);
}

TEST_F(ExceptionTest, ThrowCatchAndRethrowNeverCopyTheRecord)
{
    try
    {
        try
        {
            throw t_counting_exception(3).add_str_arg(L"-x");
        }
        catch (const t_counting_exception& caught)
        {
            caught.raise();
        }
    }
    catch (const t_counting_exception& raised)
    {
        EXPECT_STREQ(raised.what(), "[t_cmd_line_parser]:unknown command line argument [-x].");
    }
    EXPECT_EQ(t_counting_record::references, 0);
    EXPECT_EQ(t_counting_record::destructions, 1);
}

TEST_F(ExceptionTest, AddRecordAppendsAndStopsArgumentsToThePrimary)
{
    t_parser_exception error(3);
    auto second = make_smart<t_cmd_line_parser_err_record>(4);
    error.add_str_arg(L"first");
    error.add_record(second.get());

    ASSERT_EQ(error.get_record_count(), 2);
    EXPECT_EQ(error.get_record(1).get(), second.get());
    EXPECT_EQ(error.current_record(), nullptr);
    EXPECT_STREQ(error.what(), "[t_cmd_line_parser]:unknown command line argument [first].");
    EXPECT_THROW(error.add_str_arg(L"late"), std::runtime_error);
}

TEST_F(ExceptionTest, RaiseThrowsTheMostDerivedTypeWithTheSameText)
{
    const t_parser_exception error = t_parser_exception(4);
    const t_exception& as_base = error;
    try
    {
        as_base.raise();
        FAIL() << "raise returned";
    }
    catch (const t_parser_exception& raised)
    {
        EXPECT_STREQ(raised.what(), error.what());
        EXPECT_STREQ(raised.what(), "[t_cmd_line_parser]:bad command line format.");
    }
}

TEST_F(ExceptionTest, PlainExceptionBaseKeepsItsMessageThroughRaise)
{
    const t_exception plain("plain failure");
    try
    {
        plain.raise();
    }
    catch (const t_exception& raised)
    {
        EXPECT_STREQ(raised.what(), "plain failure");
    }
    EXPECT_STREQ(t_exception().what(), "Unknown exception");
}

// An exception whose only record was taken out answers with the fixed text.
class t_recordless_exception : public t_exception,
                               public voka::infrastructure::core::structure::t_err_records_r
{
public:
    std::int32_t get_record_count() const override { return 0; }
    voka::infrastructure::core::structure::t_err_record_ptr get_record(std::int32_t) const override
    {
        return {};
    }
};

TEST_F(ExceptionTest, RecordlessExceptionArgumentContributesItsWhatText)
{
    t_parser_exception error(3);
    error.add_exception_arg(t_recordless_exception());
    EXPECT_STREQ(error.what(),
                 "[t_cmd_line_parser]:unknown command line argument [Unknown exception].");
}

}  // namespace
