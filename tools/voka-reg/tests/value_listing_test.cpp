// How voka-reg reads one listed value: whatever sizes its buffers start at (RegQueryInfoKeyW's
// figures may be stale by the time RegEnumValueW runs), the value is read whole, nothing beyond
// the buffers is taken as data, and a value that keeps outgrowing them ends in an error after a
// few tries. The calls are stand-ins that keep RegEnumValueW's contract for one value.
#include "registry_operations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace voka_reg
{
namespace
{

// One value as a stand-in for RegEnumValueW reports it, and what the calls were given.
struct t_enumerated
{
    std::wstring name;
    DWORD type = REG_BINARY;
    t_bytes data;
    int calls = 0;
    bool null_data = false;  // a call got no data buffer
};

// RegEnumValueW's contract (as on Windows): without a data buffer, success with the data's size;
// a name that does not fit gives ERROR_MORE_DATA with the name's size unchanged and the data's
// size set; data that does not fit gives ERROR_MORE_DATA with the name stored and the data's size
// set.
LSTATUS enumerate(t_enumerated& value, LPWSTR name, LPDWORD name_size, LPDWORD type,
                  LPBYTE data, LPDWORD data_size)
{
    ++value.calls;
    if (data == nullptr)
        value.null_data = true;
    *type = value.type;
    const auto needed = static_cast<DWORD>(value.data.size());
    if (*name_size <= value.name.size())
    {
        *data_size = needed;
        return ERROR_MORE_DATA;
    }
    std::wmemcpy(name, value.name.c_str(), value.name.size() + 1);
    *name_size = static_cast<DWORD>(value.name.size());
    if (data == nullptr)
    {
        *data_size = needed;
        return ERROR_SUCCESS;
    }
    if (*data_size < needed)
    {
        *data_size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed > 0)
        std::memcpy(data, value.data.data(), needed);
    *data_size = needed;
    return ERROR_SUCCESS;
}

t_enum_value_call call_for(t_enumerated& value)
{
    return [&value](LPWSTR name, LPDWORD name_size, LPDWORD type, LPBYTE data, LPDWORD data_size)
    { return enumerate(value, name, name_size, type, data, data_size); };
}

t_bytes pattern(std::size_t size)
{
    t_bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

TEST(ValueListingTest, AValueThatAppearedAfterTheBuffersWereSizedIsReadWhole)
{
    // Buffers sized when the key had no values: empty.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{5000}})
    {
        t_enumerated source;
        source.name = std::wstring(300, L'n');
        source.data = pattern(size);
        std::vector<wchar_t> name;
        t_bytes data;
        t_listed_value value;
        EXPECT_EQ(read_listed_value(call_for(source), name, data, value), ERROR_SUCCESS) << size;
        EXPECT_FALSE(source.null_data) << "a call without a data buffer reports data not read";
        EXPECT_EQ(value.name, source.name);
        EXPECT_EQ(value.type, REG_BINARY);
        EXPECT_EQ(value.data, source.data) << size;
    }
}

TEST(ValueListingTest, TheLongestValueNameFitsAfterGrowing)
{
    t_enumerated source;
    source.name = std::wstring(k_max_value_name_length, L'x');
    source.data = pattern(3);
    std::vector<wchar_t> name(1);
    t_bytes data(1);
    t_listed_value value;
    EXPECT_EQ(read_listed_value(call_for(source), name, data, value), ERROR_SUCCESS);
    EXPECT_EQ(value.name, source.name);
    EXPECT_EQ(value.data, source.data);
    EXPECT_LE(source.calls, 3);
}

TEST(ValueListingTest, ASizeBeyondTheBufferIsNeverTakenAsData)
{
    // A call that reports success with more data than the buffer holds (as one without a buffer
    // would) is made again with a buffer of that size.
    t_enumerated source;
    source.name = L"v";
    source.data = pattern(64);
    bool first = true;
    const t_enum_value_call call =
        [&](LPWSTR name, LPDWORD name_size, LPDWORD type, LPBYTE data, LPDWORD data_size)
    {
        if (std::exchange(first, false))
        {
            enumerate(source, name, name_size, type, nullptr, data_size);
            return static_cast<LSTATUS>(ERROR_SUCCESS);
        }
        return enumerate(source, name, name_size, type, data, data_size);
    };
    std::vector<wchar_t> name(2);
    t_bytes data(8);
    t_listed_value value;
    EXPECT_EQ(read_listed_value(call, name, data, value), ERROR_SUCCESS);
    EXPECT_EQ(value.data, source.data);
    EXPECT_EQ(source.calls, 2);
}

TEST(ValueListingTest, AValueThatKeepsOutgrowingTheBuffersGivesMoreDataAfterAFewTries)
{
    t_enumerated source;
    source.name = L"growing";
    std::vector<wchar_t> name;
    t_bytes data;
    t_listed_value value;
    const t_enum_value_call call =
        [&](LPWSTR name_buffer, LPDWORD name_size, LPDWORD type, LPBYTE data_buffer,
            LPDWORD data_size)
    {
        // Another program makes the value larger between every two calls.
        source.data.resize(source.data.size() * 2 + 16);
        return enumerate(source, name_buffer, name_size, type, data_buffer, data_size);
    };
    EXPECT_EQ(read_listed_value(call, name, data, value), ERROR_MORE_DATA);
    EXPECT_GE(source.calls, 2);
    EXPECT_LE(source.calls, 16);
}

TEST(ValueListingTest, OtherErrorsOfTheCallAreGivenBack)
{
    for (const LSTATUS error : {ERROR_NO_MORE_ITEMS, ERROR_KEY_DELETED, ERROR_ACCESS_DENIED})
    {
        int calls = 0;
        std::vector<wchar_t> name;
        t_bytes data;
        t_listed_value value;
        EXPECT_EQ(read_listed_value([&](LPWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)
                                    {
                                        ++calls;
                                        return error;
                                    },
                                    name, data, value),
                  error);
        EXPECT_EQ(calls, 1);
    }
}

}  // namespace
}  // namespace voka_reg
