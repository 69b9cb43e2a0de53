// An in-process listener for debugger output (OutputDebugStringW/A), for tests that
// check the exact texts a component writes. Not part of the Windows API: code under
// test keeps calling the Win32 functions; only tests include this header.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace voka::platform
{

class t_debug_output_capture;

namespace io
{
// Hands one text to every live capture; false when there is none. Called by the
// debug-output functions of the layer.
bool deliver_to_debug_output_captures(std::string_view text) noexcept;
}  // namespace io

// While alive, receives every debug-output text of the process, from every thread:
// one element per OutputDebugStringW/A call, as UTF-8 (wide texts converted, narrow
// texts byte for byte), in the order the calls delivered them. While at least one
// capture is alive, the texts go to the captures instead of the listener named by
// VOKA_DEBUG_OUTPUT; several live captures each receive every text. A null text is
// no call's text and is not recorded; an empty one is.
//
// Threading: every method may be called from any thread. Neither copyable nor
// movable: the layer refers to a capture by its address until it is destroyed.
//
// Example:
//     voka::platform::t_debug_output_capture capture;
//     OutputDebugStringW(L"OXA_MT: started\n");
//     EXPECT_EQ(capture.texts(), std::vector<std::string>{"OXA_MT: started\n"});
class t_debug_output_capture
{
public:
    t_debug_output_capture() noexcept;
    ~t_debug_output_capture();

    t_debug_output_capture(const t_debug_output_capture&) = delete;
    t_debug_output_capture& operator=(const t_debug_output_capture&) = delete;

    // The texts received so far, oldest first.
    std::vector<std::string> texts() const;

    // The texts received so far, concatenated.
    std::string joined_text() const;

    // The number of texts received so far.
    std::size_t count() const;

    // Forgets the texts received so far.
    void clear();

    // Waits until at least `count` texts have arrived (for output written by other
    // threads); false when `timeout` passed first.
    bool wait_for_count(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    friend bool io::deliver_to_debug_output_captures(std::string_view text) noexcept;

    // Called with the registry lock held, which keeps the capture alive.
    void helper__append(std::string_view text) noexcept;

    mutable std::mutex m_texts_lock;  // taken after the registry lock, never before it
    mutable std::condition_variable m_texts_changed;
    std::vector<std::string> m_texts;  // guarded by m_texts_lock

    // Links of the registry's list of live captures; guarded by the registry lock.
    t_debug_output_capture* m_previous = nullptr;
    t_debug_output_capture* m_next = nullptr;
};

}  // namespace voka::platform
