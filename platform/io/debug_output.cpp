// OutputDebugStringW/A. Windows hands the text to an attached debugger; here it goes
// to live in-process captures, or else to the listener named by VOKA_DEBUG_OUTPUT.
//
// The variable is read on every call, so a test (or a user) can change the listener
// at any time; a file listener is opened for append on every call and closed again,
// which costs a little per text but never holds a stale file. Each text goes out
// with one write() under a process-wide lock: texts of the process's threads never
// interleave, even where the kernel would split a large write to a pipe; between
// processes sharing a file, O_APPEND keeps each write whole.
#include "unique_descriptor.h"
#include "utf8_codec.h"
#include "voka/platform/debug_output_capture.h"
#include "voka/win32.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>

namespace
{

constexpr const char* k_listener_variable = "VOKA_DEBUG_OUTPUT";

// Constant-initialized and trivially destructible: usable while the process exits.
constinit std::mutex g_write_lock;

// Writes all of `text`, going on after partial writes and interruptions; gives up
// silently on an error, as Windows does when the debugger goes away.
void write_all(int descriptor, std::string_view text) noexcept
{
    while (!text.empty())
    {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void write_to_listener(std::string_view text) noexcept
{
    const char* listener = std::getenv(k_listener_variable);
    if (listener == nullptr || *listener == '\0' || text.empty())
        return;

    const std::lock_guard<std::mutex> write_guard(g_write_lock);
    if (std::strcmp(listener, "stderr") == 0)
    {
        write_all(STDERR_FILENO, text);
        return;
    }
    const voka::platform::io::t_unique_file_descriptor file(
        ::open(listener, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (file)
        write_all(file.get(), text);
}

void send_debug_text(std::string_view text) noexcept
{
    const int saved_errno = errno;
    if (!voka::platform::io::deliver_to_debug_output_captures(text))
        write_to_listener(text);
    errno = saved_errno;
}

}  // namespace

void WINAPI OutputDebugStringA(LPCSTR text)
{
    if (text != nullptr)
        send_debug_text(text);
}

void WINAPI OutputDebugStringW(LPCWSTR text)
{
    if (text == nullptr)
        return;
    try
    {
        send_debug_text(voka::platform::io::wide_to_utf8(text));
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory the text is lost, as it would be on its way to a debugger.
    }
}
