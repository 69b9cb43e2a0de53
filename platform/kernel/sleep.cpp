// Sleep: suspends the calling thread on the monotonic clock.
#include "voka/win32.h"

#include <cerrno>
#include <ctime>

#include <sched.h>

#include "futex.h"

void WINAPI Sleep(DWORD milliseconds)
{
    if (milliseconds == 0)
    {
        sched_yield();  // Windows: gives up the rest of the time slice
        return;
    }
    if (milliseconds == INFINITE)
    {
        for (;;)
        {
            timespec day{86400, 0};
            nanosleep(&day, nullptr);
        }
    }
    // An absolute deadline: signals that interrupt the sleep never stretch or shorten it.
    const timespec deadline = voka::platform::deadline_after(milliseconds);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
    {
    }
}
