// Streams on global memory: CreateStreamOnHGlobal and GetHGlobalFromStream; reading, writing
// and growing, seeking, sizes, statistics, clones, copies and delete-on-release.
#include "ole32_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

namespace
{

using ole32_test::create_stream;
using ole32_test::t_com_ptr;
using ole32_test::t_half_stream;

constexpr DWORD k_unrelated_error = 0xE0001234u;

HGLOBAL memory_of(IStream* stream)
{
    HGLOBAL memory = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
    return memory;
}

ULONGLONG stream_size(IStream* stream)
{
    STATSTG statistics{};
    EXPECT_EQ(stream->Stat(&statistics, STATFLAG_NONAME), S_OK);
    return statistics.cbSize.QuadPart;
}

ULONGLONG seek(IStream* stream, LONGLONG move, DWORD origin)
{
    LARGE_INTEGER distance{};
    distance.QuadPart = move;
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(distance, origin, &position), S_OK);
    return position.QuadPart;
}

void write_text(IStream* stream, const std::string& text)
{
    ULONG written = 0;
    EXPECT_EQ(stream->Write(text.data(), static_cast<ULONG>(text.size()), &written), S_OK);
    EXPECT_EQ(written, text.size());
}

std::string read_text(IStream* stream, ULONG bytes)
{
    std::string text(bytes, '\0');
    ULONG read = 0;
    EXPECT_EQ(stream->Read(text.data(), bytes, &read), S_OK);
    text.resize(read);
    return text;
}

bool is_live_block(HGLOBAL memory)
{
    SetLastError(k_unrelated_error);
    return GlobalSize(memory) != 0 || GetLastError() != static_cast<DWORD>(ERROR_INVALID_HANDLE);
}

TEST(HGlobalStreamTest, NewStreamIsEmptyAndGrowsOnWrite)
{
    auto stream = create_stream();
    STATSTG statistics{};
    statistics.pwcsName = reinterpret_cast<LPOLESTR>(&statistics);
    ASSERT_EQ(stream->Stat(&statistics, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(statistics.type, STGTY_STREAM);
    EXPECT_EQ(statistics.cbSize.QuadPart, 0u);
    EXPECT_EQ(statistics.pwcsName, nullptr);  // memory streams have no name

    write_text(stream.get(), "hello");
    EXPECT_EQ(stream_size(stream.get()), 5u);
    EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_CUR), 5u);
    EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_SET), 0u);
    EXPECT_EQ(read_text(stream.get(), 5), "hello");
    // At the end a read gives S_OK and no bytes.
    EXPECT_EQ(read_text(stream.get(), 10), "");
}

TEST(HGlobalStreamTest, ExistingBlockIsTheInitialContent)
{
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 11);
    ASSERT_NE(memory, nullptr);
    std::memcpy(GlobalLock(memory), "content-abc", 11);
    GlobalUnlock(memory);

    auto stream = create_stream(memory, TRUE);
    EXPECT_EQ(memory_of(stream.get()), memory);
    EXPECT_EQ(stream_size(stream.get()), 11u);
    EXPECT_EQ(read_text(stream.get(), 7), "content");
    EXPECT_EQ(read_text(stream.get(), 100), "-abc");  // a short read is S_OK too
}

TEST(HGlobalStreamTest, ManySmallWritesGrowTheBlockUnderTheSameHandle)
{
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(memory, nullptr);
    auto stream = create_stream(memory, TRUE);
    std::string expected;
    for (int index = 0; index < 5000; ++index)
    {
        const std::string piece = std::to_string(index) + ",";
        write_text(stream.get(), piece);
        expected += piece;
    }
    EXPECT_EQ(memory_of(stream.get()), memory);
    EXPECT_EQ(stream_size(stream.get()), expected.size());
    EXPECT_GE(GlobalSize(memory), expected.size());  // the block may be larger than the stream
    const auto* const bytes = static_cast<const char*>(GlobalLock(memory));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, expected.size()), expected);
    GlobalUnlock(memory);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), static_cast<ULONG>(expected.size()) + 10), expected);
}

TEST(HGlobalStreamTest, FixedBlockServesAsAStreamThatCannotGrow)
{
    const HGLOBAL memory = GlobalAlloc(GPTR, 8);
    ASSERT_NE(memory, nullptr);
    auto stream = create_stream(memory, FALSE);
    EXPECT_EQ(stream_size(stream.get()), 8u);
    write_text(stream.get(), "12345678");
    ULONG written = 99;
    EXPECT_EQ(stream->Write("9", 1, &written), STG_E_MEDIUMFULL);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(stream_size(stream.get()), 8u);
    stream.reset();
    EXPECT_EQ(GlobalSize(memory), 8u);  // still the caller's block, at its address
    EXPECT_EQ(std::string(static_cast<const char*>(memory), 8), "12345678");
    EXPECT_EQ(GlobalFree(memory), nullptr);
}

TEST(HGlobalStreamTest, OverwritesInTheMiddleKeepTheSize)
{
    auto stream = create_stream();
    write_text(stream.get(), "0123456789");
    seek(stream.get(), 3, STREAM_SEEK_SET);
    write_text(stream.get(), "abc");
    EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_CUR), 6u);
    EXPECT_EQ(stream_size(stream.get()), 10u);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 10), "012abc6789");
}

TEST(HGlobalStreamTest, SeeksFromEachOrigin)
{
    auto stream = create_stream();
    write_text(stream.get(), "0123456789");
    struct t_case
    {
        LONGLONG move;
        DWORD origin;
        ULONGLONG expected;
    };
    const t_case cases[] = {
        {4, STREAM_SEEK_SET, 4},  {2, STREAM_SEEK_CUR, 6},  {-6, STREAM_SEEK_CUR, 0},
        {-1, STREAM_SEEK_END, 9}, {0, STREAM_SEEK_END, 10}, {5, STREAM_SEEK_END, 15},
        {0, STREAM_SEEK_SET, 0},
    };
    for (const auto& step : cases)
    {
        SCOPED_TRACE(testing::Message() << step.move << " from " << step.origin);
        EXPECT_EQ(seek(stream.get(), step.move, step.origin), step.expected);
    }
    // The new position may be left out.
    LARGE_INTEGER distance{};
    distance.QuadPart = 3;
    EXPECT_EQ(stream->Seek(distance, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(read_text(stream.get(), 2), "34");
}

TEST(HGlobalStreamTest, BadSeeksFailAndKeepThePosition)
{
    auto stream = create_stream();
    write_text(stream.get(), "0123456789");
    seek(stream.get(), 4, STREAM_SEEK_SET);
    struct t_case
    {
        LONGLONG move;
        DWORD origin;
    };
    const t_case cases[] = {{-1, STREAM_SEEK_SET},
                            {-5, STREAM_SEEK_CUR},
                            {-11, STREAM_SEEK_END},
                            {0, 3},
                            {0, 0xFFFFFFFFu}};
    for (const auto& step : cases)
    {
        SCOPED_TRACE(testing::Message() << step.move << " from " << step.origin);
        LARGE_INTEGER distance{};
        distance.QuadPart = step.move;
        ULARGE_INTEGER position{};
        EXPECT_EQ(stream->Seek(distance, step.origin, &position), STG_E_INVALIDFUNCTION);
        EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_CUR), 4u);
    }
}

TEST(HGlobalStreamTest, WritePastTheEndFillsTheGapWithZeros)
{
    auto stream = create_stream();
    write_text(stream.get(), "ab");
    EXPECT_EQ(seek(stream.get(), 6, STREAM_SEEK_SET), 6u);
    EXPECT_EQ(stream_size(stream.get()), 2u);  // seeking alone does not grow the stream
    EXPECT_EQ(read_text(stream.get(), 4), "");
    write_text(stream.get(), "z");
    EXPECT_EQ(stream_size(stream.get()), 7u);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 7), std::string("ab\0\0\0\0z", 7));
}

TEST(HGlobalStreamTest, SetSizeGrowsWithZerosAndShrinks)
{
    auto stream = create_stream();
    write_text(stream.get(), "abcdef");
    ULARGE_INTEGER size{};
    size.QuadPart = 9;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    EXPECT_EQ(stream_size(stream.get()), 9u);
    EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_CUR), 6u);  // the seek pointer stays
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 20), std::string("abcdef\0\0\0", 9));

    size.QuadPart = 2;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    EXPECT_EQ(stream_size(stream.get()), 2u);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 20), "ab");

    // Growing after a shrink does not bring the old bytes back.
    size.QuadPart = 4;
    ASSERT_EQ(stream->SetSize(size), S_OK);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 20), std::string("ab\0\0", 4));
}

TEST(HGlobalStreamTest, CloneSharesTheBytesWithItsOwnSeekPointer)
{
    auto stream = create_stream();
    write_text(stream.get(), "0123456789");
    seek(stream.get(), 3, STREAM_SEEK_SET);

    t_com_ptr<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    ASSERT_NE(clone.get(), nullptr);
    EXPECT_NE(clone.get(), stream.get());
    EXPECT_EQ(memory_of(clone.get()), memory_of(stream.get()));
    EXPECT_EQ(seek(clone.get(), 0, STREAM_SEEK_CUR), 3u);  // starts where the original stood

    EXPECT_EQ(read_text(clone.get(), 2), "34");
    EXPECT_EQ(seek(stream.get(), 0, STREAM_SEEK_CUR), 3u);  // the original did not move

    seek(clone.get(), 0, STREAM_SEEK_END);
    write_text(clone.get(), "AB");
    EXPECT_EQ(stream_size(stream.get()), 12u);  // one size for both
    seek(stream.get(), 8, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 10), "89AB");

    // The clone keeps the bytes alive on its own.
    stream.reset();
    seek(clone.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(clone.get(), 20), "0123456789AB");
}

TEST(HGlobalStreamTest, DeleteOnReleaseFreesTheBlockWithTheLastStream)
{
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 4);
    ASSERT_NE(memory, nullptr);
    auto stream = create_stream(memory, TRUE);
    t_com_ptr<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    stream.reset();
    EXPECT_TRUE(is_live_block(memory));  // the clone still uses it
    clone.reset();
    EXPECT_FALSE(is_live_block(memory));
}

TEST(HGlobalStreamTest, WithoutDeleteOnReleaseTheBlockStaysWithTheStreamsBytes)
{
    auto stream = create_stream(nullptr, FALSE);
    write_text(stream.get(), "kept bytes");
    const HGLOBAL memory = memory_of(stream.get());
    ASSERT_NE(memory, nullptr);
    stream.reset();
    ASSERT_TRUE(is_live_block(memory));
    ASSERT_GE(GlobalSize(memory), 10u);
    const auto* const bytes = static_cast<const char*>(GlobalLock(memory));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes, 10), "kept bytes");
    GlobalUnlock(memory);
    EXPECT_EQ(GlobalFree(memory), nullptr);
}

TEST(HGlobalStreamTest, CopyToWritesIntoTheTargetAndCounts)
{
    auto source = create_stream();
    std::string text(200000, '\0');
    for (std::size_t index = 0; index < text.size(); ++index)
        text[index] = static_cast<char>('a' + index % 26);
    write_text(source.get(), text);
    seek(source.get(), 10, STREAM_SEEK_SET);

    auto target = create_stream();
    write_text(target.get(), ">");
    ULARGE_INTEGER bytes{};
    bytes.QuadPart = 150000;
    ULARGE_INTEGER read{};
    ULARGE_INTEGER written{};
    ASSERT_EQ(source->CopyTo(target.get(), bytes, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 150000u);
    EXPECT_EQ(written.QuadPart, 150000u);
    EXPECT_EQ(seek(source.get(), 0, STREAM_SEEK_CUR), 150010u);
    seek(target.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(target.get(), 200000), ">" + text.substr(10, 150000));

    // Asking for more than is left copies what is left.
    bytes.QuadPart = 1000000;
    ASSERT_EQ(source->CopyTo(target.get(), bytes, &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, text.size() - 150010);
    EXPECT_EQ(written.QuadPart, text.size() - 150010);
}

TEST(HGlobalStreamTest, CopyToAStreamOfTheSameBlock)
{
    auto stream = create_stream();
    write_text(stream.get(), "abc");
    t_com_ptr<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);  // the clone stands at the end
    seek(stream.get(), 0, STREAM_SEEK_SET);
    ULARGE_INTEGER bytes{};
    bytes.QuadPart = 3;
    ASSERT_EQ(stream->CopyTo(clone.get(), bytes, nullptr, nullptr), S_OK);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(read_text(stream.get(), 10), "abcabc");
}

TEST(HGlobalStreamTest, NullPointersAreInvalidPointer)
{
    auto stream = create_stream();
    char buffer[4] = {};
    ULONG count = 7;
    EXPECT_EQ(stream->Read(nullptr, 4, &count), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(nullptr, 4, &count), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Clone(nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->CopyTo(nullptr, ULARGE_INTEGER{}, nullptr, nullptr), STG_E_INVALIDPOINTER);
    // The counts may be left out.
    EXPECT_EQ(stream->Write("abcd", 4, nullptr), S_OK);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    EXPECT_EQ(stream->Read(buffer, 4, nullptr), S_OK);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST(HGlobalStreamTest, MemoryStreamsAreNotTransactedAndHaveNoRegionLocks)
{
    auto stream = create_stream();
    EXPECT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(stream->Revert(), S_OK);
    ULARGE_INTEGER offset{};
    ULARGE_INTEGER bytes{};
    bytes.QuadPart = 1;
    EXPECT_EQ(stream->LockRegion(offset, bytes, LOCK_WRITE), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->UnlockRegion(offset, bytes, LOCK_WRITE), STG_E_INVALIDFUNCTION);
    STATSTG statistics{};
    EXPECT_EQ(stream->Stat(&statistics, 0x100), STG_E_INVALIDFLAG);
}

TEST(HGlobalStreamTest, AnswersItsInterfacesWithOneIdentity)
{
    auto stream = create_stream();
    t_com_ptr<IUnknown> identity;
    t_com_ptr<ISequentialStream> sequential;
    ASSERT_EQ(stream->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    ASSERT_EQ(stream->QueryInterface(IID_ISequentialStream, sequential.put_void()), S_OK);
    t_com_ptr<IUnknown> identity_again;
    ASSERT_EQ(sequential->QueryInterface(IID_IUnknown, identity_again.put_void()), S_OK);
    EXPECT_EQ(identity.get(), identity_again.get());
    void* other = &other;
    EXPECT_EQ(stream->QueryInterface(IID_IMarshal, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(stream->QueryInterface(IID_IStream, nullptr), E_POINTER);
}

TEST(HGlobalStreamTest, BadArgumentsToTheFunctionsAreInvalidArg)
{
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
    const HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 4);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    EXPECT_EQ(CreateStreamOnHGlobal(freed, FALSE, &stream), E_INVALIDARG);
    EXPECT_EQ(stream, nullptr);

    HGLOBAL memory = reinterpret_cast<HGLOBAL>(&memory);
    EXPECT_EQ(GetHGlobalFromStream(nullptr, &memory), E_INVALIDARG);
    EXPECT_EQ(memory, nullptr);
    auto own = create_stream();
    EXPECT_EQ(GetHGlobalFromStream(own.get(), nullptr), E_INVALIDARG);
    t_half_stream foreign;
    memory = reinterpret_cast<HGLOBAL>(&memory);
    EXPECT_EQ(GetHGlobalFromStream(&foreign, &memory), E_INVALIDARG);
    EXPECT_EQ(memory, nullptr);
}

TEST(HGlobalStreamTest, ClonesWrittenFromTwoThreadsKeepEveryByte)
{
    auto stream = create_stream();
    t_com_ptr<IStream> clone;
    ASSERT_EQ(stream->Clone(clone.put()), S_OK);
    constexpr int k_rounds = 2000;
    std::thread first(
        [&]
        {
            for (int round = 0; round < k_rounds; ++round)
            {
                seek(stream.get(), 2 * round, STREAM_SEEK_SET);
                write_text(stream.get(), "x");
            }
        });
    std::thread second(
        [&]
        {
            for (int round = 0; round < k_rounds; ++round)
            {
                seek(clone.get(), 2 * round + 1, STREAM_SEEK_SET);
                write_text(clone.get(), "y");
            }
        });
    first.join();
    second.join();
    EXPECT_EQ(stream_size(stream.get()), 2u * k_rounds);
    seek(stream.get(), 0, STREAM_SEEK_SET);
    std::string expected;
    for (int round = 0; round < k_rounds; ++round)
        expected += "xy";
    EXPECT_EQ(read_text(stream.get(), 2 * k_rounds), expected);
}

}  // namespace
