// HResultFromCurrentException: the translation of every kind of exception into an HRESULT.
#include "voka/infrastructure/core/raw_allocator.h"
#include "voka/infrastructure/os/windows/ole32/hresult_from_exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <ios>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

namespace
{

using voka::lib::com::base::HResultFromCurrentException;

class t_own_standard_error : public std::exception
{
public:
    const char* what() const noexcept override { return "own"; }
};

class t_own_bad_alloc : public std::bad_alloc
{
};

struct t_not_an_exception
{
    int code;
};

HRESULT translate(const std::function<void()>& thrower)
{
    try
    {
        thrower();
    }
    catch (...)
    {
        return HResultFromCurrentException();
    }
    ADD_FAILURE() << "nothing was thrown";
    return S_OK;
}

TEST(HResultFromExceptionTest, MapsEachKindOfException)
{
    struct t_case
    {
        const char* name;
        std::function<void()> thrower;
        HRESULT expected;
    };
    const t_case cases[] = {
        {"std::bad_alloc", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        {"std::bad_array_new_length", [] { throw std::bad_array_new_length(); }, E_OUTOFMEMORY},
        {"a class derived from std::bad_alloc", [] { throw t_own_bad_alloc(); }, E_OUTOFMEMORY},
        {"the system's t_bad_alloc", [] { throw voka::lib::structure::t_bad_alloc(); },
         E_OUTOFMEMORY},
        {"std::runtime_error", [] { throw std::runtime_error("x"); }, E_FAIL},
        {"std::logic_error", [] { throw std::logic_error("x"); }, E_FAIL},
        {"std::out_of_range", [] { static_cast<void>(std::string().at(1)); }, E_FAIL},
        {"std::system_error",
         [] { throw std::system_error(std::make_error_code(std::errc::io_error)); }, E_FAIL},
        {"std::ios_base::failure", [] { throw std::ios_base::failure("x"); }, E_FAIL},
        {"std::future_error", [] { throw std::future_error(std::future_errc::no_state); }, E_FAIL},
        {"a class derived from std::exception", [] { throw t_own_standard_error(); }, E_FAIL},
        {"std::exception", [] { throw std::exception(); }, E_FAIL},
        {"an int", [] { throw 5; }, E_UNEXPECTED},
        {"a string literal", [] { throw "text"; }, E_UNEXPECTED},
        {"a class of its own", [] { throw t_not_an_exception{1}; }, E_UNEXPECTED},
    };
    for (const auto& kind : cases)
    {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(translate(kind.thrower), kind.expected);
    }
}

TEST(HResultFromExceptionTest, ValuesAreTheWindowsCodes)
{
    EXPECT_EQ(translate([] { throw std::bad_alloc(); }), static_cast<HRESULT>(0x8007000Eu));
    EXPECT_EQ(translate([] { throw std::runtime_error("x"); }), static_cast<HRESULT>(0x80004005u));
    EXPECT_EQ(translate([] { throw 1; }), static_cast<HRESULT>(0x8000FFFFu));
}

TEST(HResultFromExceptionTest, NestedHandlersTranslateTheInnermostException)
{
    try
    {
        throw std::runtime_error("outer");
    }
    catch (...)
    {
        EXPECT_EQ(translate([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
        EXPECT_EQ(HResultFromCurrentException(), E_FAIL);  // the outer one again
    }
}

TEST(HResultFromExceptionTest, OutsideAHandlerIsUnexpected)
{
    EXPECT_EQ(HResultFromCurrentException(), E_UNEXPECTED);
}

}  // namespace
