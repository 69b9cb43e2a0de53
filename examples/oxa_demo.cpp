// The task library's demo client: it links the task library (which loads the COM gate), prints
// the gate API the library was bound to, runs a mixed workload on the shared and a private
// parallel manager (progress as tasks finish, one task canceled, one failing with its exception
// rethrown here), and feeds a sequential manager that writes a log strictly in order.
#include "voka/infrastructure/core/smart_interface_impl.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_pll__factory.h"
#include "voka/infrastructure/multitasking/oxa/oxa_task_seq__factory.h"
#include "voka/win32.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace oxa = voka::infrastructure::multitasking::oxa;
using voka::infrastructure::core::structure::t_smart_object_ptr;
using voka::lib::structure::t_basic_smart_interface_impl__dynamic;

namespace
{

#if defined(_WIN32)
constexpr wchar_t k_task_library[] = L"voka.infrastructure.multitasking.oxa-v03_vc17_w32_i.dll";
#else
constexpr wchar_t k_task_library[] = L"libvoka.infrastructure.multitasking.oxa-v03_vc17_w32_i.so";
#endif

// The registry form of an identifier: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string registry_form(const GUID& id)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                  id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                  id.Data4[7]);
    return text;
}

void print_bound_api()
{
    using t_get_api_id = BOOL(WINAPI*)(GUID*);
    const HMODULE library = ::GetModuleHandleW(k_task_library);
    const auto get_api_id = reinterpret_cast<t_get_api_id>(
        library != nullptr ? ::GetProcAddress(library, "VOKA_OS__GetComApiID") : nullptr);
    GUID id{};
    if (get_api_id == nullptr || !get_api_id(&id))
    {
        std::printf("the task library answers no API identifier\n");
        return;
    }
    std::printf("task library bound to the COM gate API %s\n", registry_form(id).c_str());
}

// A unit of work that takes `steps` slices of 10 ms, stops early when canceled, and fails when
// asked to.
class t_work_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    t_work_task(std::wstring name, int steps, bool fails = false)
        : m_name(std::move(name)), m_steps(steps), m_fails(fails)
    {
    }

    const wchar_t* get_name() override { return m_name.c_str(); }

    std::uint32_t execute(oxa::oxa_task_signals* signals) override
    {
        for (int step = 0; step < m_steps; ++step)
        {
            if (::WaitForSingleObject(signals->get_cancel_event(), 10) == WAIT_OBJECT_0)
                return oxa::oxa_task_result_canceled;
            if (m_fails && step == m_steps / 2)
                throw std::runtime_error("checksum mismatch in block 7");
        }
        return 0;
    }

    void on_cancel() override {}

private:
    std::wstring m_name;
    int m_steps;
    bool m_fails;
};

const char* state_name(std::uint32_t state)
{
    switch (state)
    {
    case oxa::oxa_task_state_canceled:
        return "canceled";
    case oxa::oxa_task_state_completed:
        return "completed";
    default:
        return "unfinished";
    }
}

struct t_submission
{
    std::string label;
    t_smart_object_ptr<oxa::oxa_task_pll__controller> controller;
};

void run_parallel_workload()
{
    std::printf("\n-- parallel managers: shared and private\n");
    const auto shared = oxa::oxa_task_pll__factory::get_manager();
    const auto private_manager = oxa::oxa_task_pll__factory::create_manager();

    std::vector<t_submission> work;
    auto submit = [&work](const auto& manager, const char* label, int steps, std::uint32_t options,
                          bool fails = false)
    {
        const std::string text = label;
        const t_smart_object_ptr<oxa::oxa_task> task(
            new t_work_task(std::wstring(text.begin(), text.end()), steps, fails));
        work.push_back({label, manager->add_task(task.get(), options)});
    };
    submit(shared, "thumbnail 1 (shared)", 3, 0);
    submit(shared, "thumbnail 2 (shared)", 8, 0);
    submit(shared, "thumbnail 3 (shared, deferred)", 5, oxa::oxa_task_option_deferred);
    submit(private_manager, "index build (private)", 12, 0);
    submit(private_manager, "verify archive (private)", 20, 0, true);
    submit(private_manager, "crawl (private, deferred)", 1000, oxa::oxa_task_option_deferred);

    // The long crawl is not needed after all.
    work.back().controller->cancel(false);
    std::printf("canceled: %s\n", work.back().label.c_str());

    std::vector<bool> reported(work.size(), false);
    for (std::size_t finished = 0; finished < work.size();)
    {
        std::vector<HANDLE> events;
        std::vector<std::size_t> indexes;
        for (std::size_t index = 0; index < work.size(); ++index)
            if (!reported[index])
            {
                events.push_back(work[index].controller->get_done_event());
                indexes.push_back(index);
            }
        const DWORD result = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()),
                                                      events.data(), FALSE, INFINITE);
        if (result >= WAIT_OBJECT_0 + events.size())
            throw std::runtime_error("waiting for the tasks failed");
        const std::size_t index = indexes[result - WAIT_OBJECT_0];
        reported[index] = true;
        ++finished;
        t_submission& done = work[index];
        std::printf("[%zu/%zu] %-32s %s\n", finished, work.size(), done.label.c_str(),
                    state_name(done.controller->get_state()));
        try
        {
            done.controller->rethrow_task_error();
        }
        catch (const std::runtime_error& error)
        {
            std::printf("        its exception, rethrown here: %s\n", error.what());
        }
    }
}

// The sequential manager reaches the shared parallel manager through this connector.
class t_shared_connector
    : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task_pll__manager_connector2>
{
public:
    t_smart_object_ptr<oxa::oxa_task_pll__manager>*
    get_pll_manager(t_smart_object_ptr<oxa::oxa_task_pll__manager>* out) override
    {
        *out = oxa::oxa_task_pll__factory::get_manager();
        return out;
    }
};

// Appends one line to the log; counts how many log tasks run at the same moment.
class t_log_task : public t_basic_smart_interface_impl__dynamic<oxa::oxa_task>
{
public:
    t_log_task(std::vector<std::string>& log, std::atomic<int>& running, std::atomic<int>& peak,
               int number)
        : m_log(log), m_running(running), m_peak(peak), m_number(number)
    {
    }

    const wchar_t* get_name() override { return L"log line"; }

    std::uint32_t execute(oxa::oxa_task_signals*) override
    {
        const int now = ++m_running;
        int peak = m_peak.load();
        while (now > peak && !m_peak.compare_exchange_weak(peak, now))
        {
        }
        ::Sleep(3);
        m_log.push_back("entry " + std::to_string(m_number));
        --m_running;
        return 0;
    }

    void on_cancel() override {}

private:
    std::vector<std::string>& m_log;
    std::atomic<int>& m_running;
    std::atomic<int>& m_peak;
    int m_number;
};

void run_sequential_log()
{
    std::printf("\n-- sequential manager: a log written in order\n");
    const t_smart_object_ptr<oxa::oxa_task_pll__manager_connector2> connector(
        new t_shared_connector());
    const auto manager = oxa::oxa_task_seq__factory::create_manager(connector.get());
    std::vector<std::string> log;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::vector<t_smart_object_ptr<oxa::oxa_task_seq__controller>> controllers;
    for (int number = 1; number <= 8; ++number)
    {
        const t_smart_object_ptr<oxa::oxa_task> task(new t_log_task(log, running, peak, number));
        controllers.push_back(manager->add_task(task.get(), 0));
    }
    for (const auto& controller : controllers)
        controller->wait();
    for (const std::string& line : log)
        std::printf("%s\n", line.c_str());
    std::printf("log tasks running at the same time, at most: %d\n", peak.load());
}

}  // namespace

int main()
{
    try
    {
        print_bound_api();
        run_parallel_workload();
        run_sequential_log();
        return 0;
    }
    catch (const std::exception& error)
    {
        std::printf("ERROR: %s\n", error.what());
        return 1;
    }
}
