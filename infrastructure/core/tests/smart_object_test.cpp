// Reference counting of counted objects and the owning pointer.
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/win32.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace
{

using voka::infrastructure::core::structure::make_smart;
using voka::infrastructure::core::structure::t_smart_interface;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

struct t_probe_log
{
    int final_releases = 0;
    int destructions = 0;
    bool alive_at_final_release = false;
};

class t_probe : public t_basic_smart_interface_impl__dynamic<t_smart_interface>
{
public:
    t_probe(t_probe_log& log, bool throw_in_hook) : m_log(log), m_throw_in_hook(throw_in_hook) {}
    ~t_probe() override { ++m_log.destructions; }

    void on_final_release() override
    {
        ++m_log.final_releases;
        m_log.alive_at_final_release = m_log.destructions == 0;
        if (m_throw_in_hook)
            throw std::runtime_error("hook failure");
    }

private:
    t_probe_log& m_log;
    bool m_throw_in_hook;
};

TEST(SmartObjectTest, LastReleaseCallsHookOnceThenDestroys)
{
    t_probe_log log;
    {
        t_smart_object_ptr<t_probe> first = make_smart<t_probe>(log, false);
        t_smart_object_ptr<t_probe> second = first;
        first.reset();
        EXPECT_EQ(log.final_releases, 0);
        EXPECT_EQ(log.destructions, 0);
        second->add_ref();
        second->release();
        EXPECT_EQ(log.destructions, 0);
    }
    EXPECT_EQ(log.final_releases, 1);
    EXPECT_TRUE(log.alive_at_final_release);
    EXPECT_EQ(log.destructions, 1);
}

TEST(SmartObjectTest, ExceptionFromHookDoesNotEscapeRelease)
{
    t_probe_log log;
    t_smart_object_ptr<t_probe> ptr = make_smart<t_probe>(log, true);
    EXPECT_NO_THROW(ptr.reset());
    EXPECT_EQ(log.final_releases, 1);
    EXPECT_EQ(log.destructions, 1);
}

TEST(SmartObjectTest, PointerAssignmentsKeepOneReferencePerOwner)
{
    t_probe_log log_a;
    t_probe_log log_b;
    t_smart_object_ptr<t_probe> a = make_smart<t_probe>(log_a, false);
    t_smart_object_ptr<t_probe> b = make_smart<t_probe>(log_b, false);

    a = a;  // self-assignment keeps the object
    EXPECT_EQ(log_a.destructions, 0);
    a.reset(a.get());
    EXPECT_EQ(log_a.destructions, 0);

    a = b;  // drops the only reference to the first object
    EXPECT_EQ(log_a.destructions, 1);
    EXPECT_EQ(a, b);

    t_smart_object_ptr<t_probe> moved = std::move(a);
    EXPECT_FALSE(a);
    b.reset();
    EXPECT_EQ(log_b.destructions, 0);
    moved = nullptr;
    EXPECT_EQ(log_b.destructions, 1);
}

TEST(SmartObjectTest, ConcurrentCountingReleasesExactlyOnce)
{
    t_probe_log log;
    {
        t_smart_object_ptr<t_probe> shared = make_smart<t_probe>(log, false);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
        {
            threads.emplace_back(
                [shared]
                {
                    for (int i = 0; i < 10000; ++i)
                    {
                        t_smart_object_ptr<t_probe> copy = shared;
                        copy.reset();
                    }
                });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(log.destructions, 0);
    }
    EXPECT_EQ(log.final_releases, 1);
    EXPECT_EQ(log.destructions, 1);
}

}  // namespace

namespace
{

// One static block: the probe below is never freed (its thread ends inside its release).
struct t_static_block
{
    static void* allocate(std::size_t size)
    {
        alignas(std::max_align_t) static unsigned char block[256];
        if (size > sizeof block)
            throw std::bad_alloc();
        return block;
    }
    static void deallocate(void*) noexcept {}
};

// Ends its thread from the final-release hook.
class t_exiting_probe
    : public t_basic_smart_interface_impl__dynamic<
          t_smart_interface, voka::lib::structure::t_raw_allocator<t_static_block>>
{
public:
    void on_final_release() override { ::ExitThread(7); }
};

unsigned __stdcall release_exiting_probe(void* probe)
{
    static_cast<t_exiting_probe*>(probe)->release();
    return 0;  // not reached: the thread ends inside the release
}

}  // namespace

// A thread that ends inside the hook ends as ExitThread says, instead of the hook's failures
// being swallowed (which would end the process when the unwinding is stopped).
TEST(SmartObjectTest, AThreadEndingInTheHookEndsNormally)
{
    auto* const probe = new t_exiting_probe();  // left behind by the ending thread
    probe->add_ref();
    const HANDLE thread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &release_exiting_probe, probe, 0, nullptr));
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(::WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD exit_code = 0;
    ASSERT_TRUE(::GetExitCodeThread(thread, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    ::CloseHandle(thread);
}
