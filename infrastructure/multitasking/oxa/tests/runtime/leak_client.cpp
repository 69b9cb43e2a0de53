// A client process linked to the task library at build time, for the leak line: it does what its
// one argument names and ends, keeping (never releasing) the objects the mode names, so that the
// library's stop at process end reports what is still allocated.
//   nothing             uses nothing
//   released            runs tasks on shared, private and sequential managers, releases all
//   pll_create_kept     keeps a manager from create_manager
//   pll_get_kept        keeps a manager from get_manager
//   seq_kept            keeps an unused sequential manager
//   seq_controller_kept keeps a sequential manager and the controller of one queued task
//   seq_pooled          keeps a sequential manager whose released controller went to its pool
// Prints "done" when the mode ran as expected, else what went wrong (exit code 1).
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"
#include "voka/win32.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

namespace
{

class t_count_task final : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    const wchar_t* get_name() override { return L"count"; }
    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        m_runs.fetch_add(1);
        return 0;
    }
    void on_cancel() override {}

    int runs() const { return m_runs.load(); }

private:
    std::atomic<int> m_runs{0};
};

// A run of the sequential manager's resource task that never starts: it stays waiting, so the
// manager's queue and pool keep what the client gave them. The client's own memory, not the
// library's.
class t_parked_run final
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__controller>
{
public:
    t_parked_run() : m_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~t_parked_run() override { ::CloseHandle(m_done); }

    bool wait(std::uint32_t) override { return false; }
    void cancel(bool) override {}
    oxa::oxa_task_controller_id get_controller() override { return this; }
    t_smart_object_ptr<oxa::oxa_task> get_task() override { return nullptr; }
    std::uint32_t get_state() override { return oxa::oxa_task_state_wait; }
    bool is_completed() override { return false; }
    HANDLE get_done_event() override { return m_done; }
    void rethrow_task_error() override {}

private:
    HANDLE m_done;
};

class t_parking_manager final
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager>
{
public:
    t_smart_object_ptr<oxa::oxa_task_pll__controller> add_task(oxa::oxa_task*,
                                                               std::uint32_t) override
    {
        return t_smart_object_ptr<oxa::oxa_task_pll__controller>(new t_parked_run());
    }
};

// Hands out one parallel manager.
class t_connector final
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
{
public:
    explicit t_connector(oxa::oxa_task_pll__manager* manager) : m_manager(manager) {}

    t_smart_object_ptr<oxa::oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>* out) override
    {
        *out = m_manager.get();
        return out;
    }

private:
    t_smart_object_ptr<oxa::oxa_task_pll__manager> m_manager;
};

// Keeps the object alive past the end of the process: one reference nobody releases.
template <typename t_object>
void keep(const t_smart_object_ptr<t_object>& object)
{
    object->add_ref();
}

int fail(const char* what)
{
    std::printf("%s\n", what);
    return 1;
}

oxa::oxa_task_seq__factory::manager_ptr parked_seq_manager()
{
    const t_smart_object_ptr<t_parking_manager> parking(new t_parking_manager());
    const t_smart_object_ptr<t_connector> connector(new t_connector(parking.get()));
    return oxa::oxa_task_seq__factory::create_manager(connector.get());
}

int run_released()
{
    const t_smart_object_ptr<t_count_task> task(new t_count_task());
    {
        const auto shared = oxa::oxa_task_pll__factory::get_manager();
        const auto own = oxa::oxa_task_pll__factory::create_manager();
        const auto first = shared->add_task(task.get(), 0);
        const auto second = own->add_task(task.get(), oxa::oxa_task_option_deferred);
        if (!first->wait(INFINITE) || !second->wait(INFINITE))
            return fail("parallel wait failed");
        const t_smart_object_ptr<t_connector> connector(new t_connector(shared.get()));
        const auto sequential = oxa::oxa_task_seq__factory::create_manager(connector.get());
        const auto third = sequential->add_task(task.get(), 0);
        third->wait();
        if (third->get_state() != oxa::oxa_task_state_completed)
            return fail("sequential task not completed");
    }
    return task->runs() == 3 ? 0 : fail("not every task ran");
}

int run(const char* mode)
{
    if (std::strcmp(mode, "nothing") == 0)
        return 0;
    if (std::strcmp(mode, "released") == 0)
        return run_released();
    if (std::strcmp(mode, "pll_create_kept") == 0)
    {
        keep(oxa::oxa_task_pll__factory::create_manager());
        return 0;
    }
    if (std::strcmp(mode, "pll_get_kept") == 0)
    {
        keep(oxa::oxa_task_pll__factory::get_manager());
        return 0;
    }
    if (std::strcmp(mode, "seq_kept") == 0)
    {
        keep(parked_seq_manager());
        return 0;
    }
    const t_smart_object_ptr<t_count_task> task(new t_count_task());
    if (std::strcmp(mode, "seq_controller_kept") == 0)
    {
        const auto manager = parked_seq_manager();
        const auto controller = manager->add_task(task.get(), 0);
        if (controller->get_state() != oxa::oxa_task_state_wait)
            return fail("the task is not queued");
        keep(manager);
        keep(controller);
        return 0;
    }
    if (std::strcmp(mode, "seq_pooled") == 0)
    {
        const auto manager = parked_seq_manager();
        manager->add_task(task.get(), 0);  // released at once: back to the pool
        keep(manager);
        return 0;
    }
    return fail("unknown mode");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return fail("usage: oxa_test_leak_client <mode>");
    const int result = run(argv[1]);
    if (result == 0)
        std::printf("done\n");
    return result;
}
