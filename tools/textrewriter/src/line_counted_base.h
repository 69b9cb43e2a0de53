// Reference counting for text lines: a 32-bit count changed only by interlocked
// increment and decrement. The final release runs the hook and then destroys the
// object in place; its storage belongs to whoever constructed it there.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace structure
{

class t_line_counted_base
{
public:
    t_line_counted_base() noexcept = default;
    t_line_counted_base(const t_line_counted_base&) = delete;
    t_line_counted_base& operator=(const t_line_counted_base&) = delete;

    // Adds one reference; returns the new count.
    virtual std::int32_t add_ref() noexcept
    {
        // Taking a reference needs no ordering: the caller already sees the object.
        return m_ref_count.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    // Drops one reference; the release that brings the count to 0 calls
    // on_final_release and then destroys the object. Returns the new count.
    virtual std::int32_t release() noexcept
    {
        // Release/acquire so that every owner's writes happen before the destruction.
        const std::int32_t count = m_ref_count.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
        {
            on_final_release();
            std::destroy_at(this);
        }
        return count;
    }

    virtual ~t_line_counted_base() = default;

    std::int32_t ref_count() const noexcept { return m_ref_count.load(std::memory_order_relaxed); }

protected:
    // Runs once, right before the object is destroyed by its final release.
    virtual void on_final_release() noexcept {}

private:
    std::atomic<std::int32_t> m_ref_count{0};
};

}  // namespace structure
