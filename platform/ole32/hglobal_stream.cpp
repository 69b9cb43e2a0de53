// Streams on global memory: CreateStreamOnHGlobal and GetHGlobalFromStream.
//
// A stream and its clones share one t_shared_block: the block's handle, the stream's size and
// the delete-on-release flag, guarded by one lock; each stream object keeps its own seek
// pointer. The bytes are reached through GlobalLock and GlobalUnlock for the time of one copy,
// and the block grows with GlobalReAlloc, so the caller's handle stays valid throughout.
//
// Locking: a stream's m_position_lock is taken before the shared block's m_lock; the global
// memory table's lock is taken inside the Global* calls, under both. No other object's method
// is called under either lock (CopyTo copies into a buffer first).
#include "com_object.h"
#include "global_memory_check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

using voka::platform::ole32::global_memory_kind;
using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::t_com_object_base;
using voka::platform::ole32::t_global_memory_kind;

namespace
{

// Answered only by this library's streams, which store their own IStream for it; lets
// GetHGlobalFromStream recognise them.
constexpr IID k_iid_hglobal_stream{
    0x6B1E53D4, 0x9F0C, 0x4E27, {0x8A, 0x51, 0x3C, 0x0D, 0x77, 0x42, 0xE9, 0x1B}};

// The block under a family of streams (a stream and its clones). Freed with the last of them
// when delete_on_release is set.
class t_shared_block
{
public:
    t_shared_block(HGLOBAL memory, bool movable, bool delete_on_release) noexcept
        : m_memory(memory), m_movable(movable), m_size(GlobalSize(memory)),
          m_delete_on_release(delete_on_release)
    {
    }
    ~t_shared_block()
    {
        if (m_delete_on_release)
            GlobalFree(m_memory);
    }
    t_shared_block(const t_shared_block&) = delete;
    t_shared_block& operator=(const t_shared_block&) = delete;

    HGLOBAL memory() const noexcept { return m_memory; }

    // Called before the block is shared by a stream.
    void set_delete_on_release(bool delete_on_release) noexcept
    {
        m_delete_on_release = delete_on_release;
    }

    ULONGLONG size()
    {
        std::lock_guard lock(m_lock);
        return m_size;
    }

    // Copies up to `bytes` bytes from `position` into `buffer`; returns the number copied.
    ULONG read(ULONGLONG position, void* buffer, ULONG bytes)
    {
        std::lock_guard lock(m_lock);
        if (position >= m_size || bytes == 0)
            return 0;
        const ULONG count = static_cast<ULONG>(std::min<ULONGLONG>(bytes, m_size - position));
        const auto* const data = static_cast<const unsigned char*>(GlobalLock(m_memory));
        if (data == nullptr)
            return 0;
        std::memcpy(buffer, data + position, count);
        GlobalUnlock(m_memory);
        return count;
    }

    // Writes `bytes` bytes at `position`, growing the stream (zeros fill a gap); S_OK, or
    // STG_E_MEDIUMFULL when the block cannot grow (nothing is written then).
    HRESULT write(ULONGLONG position, const void* buffer, ULONG bytes)
    {
        std::lock_guard lock(m_lock);
        if (bytes == 0)
            return S_OK;
        const ULONGLONG end = position + bytes;
        if (end < position || end > std::numeric_limits<SIZE_T>::max())
            return STG_E_MEDIUMFULL;
        if (end > m_size)
        {
            // Grows the block by at least half, so that many small writes cost linear time.
            const SIZE_T block_size = GlobalSize(m_memory);
            if (end > block_size)
            {
                const SIZE_T wanted =
                    std::max<SIZE_T>(static_cast<SIZE_T>(end), block_size + block_size / 2);
                if (!helper__resize_block(wanted) &&
                    !helper__resize_block(static_cast<SIZE_T>(end)))
                    return STG_E_MEDIUMFULL;
            }
            helper__zero(m_size, end);
            m_size = end;
        }
        auto* const data = static_cast<unsigned char*>(GlobalLock(m_memory));
        if (data == nullptr)
            return STG_E_MEDIUMFULL;
        std::memcpy(data + position, buffer, bytes);
        GlobalUnlock(m_memory);
        return S_OK;
    }

    // Gives the stream `size` bytes; the block follows exactly. Added bytes are zero.
    HRESULT set_size(ULONGLONG size)
    {
        std::lock_guard lock(m_lock);
        if (size > std::numeric_limits<SIZE_T>::max())
            return STG_E_MEDIUMFULL;
        if (size == m_size)
            return S_OK;
        const ULONGLONG old_size = m_size;
        if (!helper__resize_block(static_cast<SIZE_T>(size)))
            return STG_E_MEDIUMFULL;
        m_size = size;
        if (size > old_size)
            helper__zero(old_size, size);
        return S_OK;
    }

private:
    // Called with m_lock held. A movable block may move while no caller has it locked; its
    // handle stays the same. A fixed block's handle is its address, so it changes only in place.
    // 0 bytes would discard a movable block, so it keeps at least one byte.
    bool helper__resize_block(SIZE_T bytes) noexcept
    {
        return GlobalReAlloc(m_memory, std::max<SIZE_T>(bytes, 1), m_movable ? GMEM_MOVEABLE : 0) !=
               nullptr;
    }

    // Called with m_lock held: zeros the stream bytes [from, to) that lie in the block.
    void helper__zero(ULONGLONG from, ULONGLONG to) noexcept
    {
        if (from >= to)
            return;
        auto* const data = static_cast<unsigned char*>(GlobalLock(m_memory));
        if (data == nullptr)
            return;
        std::memset(data + from, 0, static_cast<SIZE_T>(to - from));
        GlobalUnlock(m_memory);
    }

    const HGLOBAL m_memory;
    const bool m_movable;
    std::mutex m_lock;
    ULONGLONG m_size;          // guarded by m_lock; never more than the block's size
    bool m_delete_on_release;  // set before the block is shared, read by the destructor
};

// One stream over a shared block. Threading: any thread may call any method.
class t_hglobal_stream final : public IStream, private t_com_object_base
{
public:
    t_hglobal_stream(std::shared_ptr<t_shared_block> block, ULONGLONG position) noexcept
        : m_block(std::move(block)), m_position(position)
    {
    }

    HGLOBAL memory() const noexcept { return m_block->memory(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream ||
            iid == k_iid_hglobal_stream)
        {
            *object = static_cast<IStream*>(this);
            helper__add_ref();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return helper__add_ref(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return helper__release(); }

    // Windows' HGLOBAL stream returns S_OK also when it reads fewer bytes than asked for.
    STDMETHODIMP Read(void* buffer, ULONG bytes, ULONG* bytes_read) noexcept override
    try
    {
        if (bytes_read != nullptr)
            *bytes_read = 0;
        if (buffer == nullptr)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_position_lock);
        const ULONG count = m_block->read(m_position, buffer, bytes);
        m_position += count;
        if (bytes_read != nullptr)
            *bytes_read = count;
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    STDMETHODIMP Write(const void* buffer, ULONG bytes, ULONG* bytes_written) noexcept override
    try
    {
        if (bytes_written != nullptr)
            *bytes_written = 0;
        if (buffer == nullptr)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_position_lock);
        const HRESULT result = m_block->write(m_position, buffer, bytes);
        if (FAILED(result))
            return result;
        m_position += bytes;
        if (bytes_written != nullptr)
            *bytes_written = bytes;
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin,
                      ULARGE_INTEGER* new_position) noexcept override
    try
    {
        std::lock_guard lock(m_position_lock);
        ULONGLONG base = 0;
        switch (origin)
        {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = m_position;
            break;
        case STREAM_SEEK_END:
            base = m_block->size();
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        // Positions stay within 0..LLONG_MAX, so the base fits a signed value.
        LONGLONG target = 0;
        if (__builtin_add_overflow(static_cast<LONGLONG>(base), move.QuadPart, &target) ||
            target < 0)
            return STG_E_INVALIDFUNCTION;
        m_position = static_cast<ULONGLONG>(target);
        if (new_position != nullptr)
            new_position->QuadPart = m_position;
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER new_size) noexcept override
    try
    {
        return m_block->set_size(new_size.QuadPart);
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    // Copies through a buffer of the stream's own, so that no lock is held while the target
    // (which may be a clone of this stream) is written.
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER bytes, ULARGE_INTEGER* bytes_read,
                        ULARGE_INTEGER* bytes_written) noexcept override
    try
    {
        if (bytes_read != nullptr)
            bytes_read->QuadPart = 0;
        if (bytes_written != nullptr)
            bytes_written->QuadPart = 0;
        if (target == nullptr)
            return STG_E_INVALIDPOINTER;
        constexpr ULONG k_chunk_bytes = 64 * 1024;
        std::vector<unsigned char> chunk;
        ULONGLONG total_read = 0;
        ULONGLONG total_written = 0;
        HRESULT result = S_OK;
        while (total_read < bytes.QuadPart)
        {
            const ULONG wanted =
                static_cast<ULONG>(std::min<ULONGLONG>(k_chunk_bytes, bytes.QuadPart - total_read));
            chunk.resize(wanted);
            ULONG count = 0;
            {
                std::lock_guard lock(m_position_lock);
                count = m_block->read(m_position, chunk.data(), wanted);
                m_position += count;
            }
            if (count == 0)
                break;
            total_read += count;
            ULONG written = 0;
            result = target->Write(chunk.data(), count, &written);
            total_written += written;
            if (FAILED(result))
                break;
        }
        if (bytes_read != nullptr)
            bytes_read->QuadPart = total_read;
        if (bytes_written != nullptr)
            bytes_written->QuadPart = total_written;
        return FAILED(result) ? result : S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    // Memory streams are not transacted.
    STDMETHODIMP Commit(DWORD) noexcept override { return S_OK; }
    STDMETHODIMP Revert() noexcept override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return STG_E_INVALIDFUNCTION;
    }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override
    {
        return STG_E_INVALIDFUNCTION;
    }

    STDMETHODIMP Stat(STATSTG* statistics, DWORD stat_flags) noexcept override
    try
    {
        if (statistics == nullptr)
            return STG_E_INVALIDPOINTER;
        if ((stat_flags & ~(STATFLAG_NONAME | STATFLAG_NOOPEN)) != 0)
            return STG_E_INVALIDFLAG;
        *statistics = STATSTG{};
        statistics->pwcsName = nullptr;  // a memory stream has no name
        statistics->type = STGTY_STREAM;
        statistics->cbSize.QuadPart = m_block->size();
        statistics->grfMode = STGM_READWRITE;
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

    STDMETHODIMP Clone(IStream** stream) noexcept override
    try
    {
        if (stream == nullptr)
            return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        ULONGLONG position = 0;
        {
            std::lock_guard lock(m_position_lock);
            position = m_position;
        }
        *stream = new t_hglobal_stream(m_block, position);
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }

private:
    const std::shared_ptr<t_shared_block> m_block;
    std::mutex m_position_lock;
    ULONGLONG m_position;  // guarded by m_position_lock
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL delete_on_release, LPSTREAM* stream)
try
{
    if (stream == nullptr)
        return E_INVALIDARG;
    *stream = nullptr;
    const t_global_memory_kind kind =
        memory != nullptr ? global_memory_kind(memory) : t_global_memory_kind::movable;
    if (kind == t_global_memory_kind::none)
        return E_INVALIDARG;
    HGLOBAL allocated = nullptr;
    if (memory == nullptr)
    {
        allocated = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD | GMEM_SHARE, 0);
        if (allocated == nullptr)
            return E_OUTOFMEMORY;
    }
    // Until the stream exists, the shared block frees only a block made here: on failure a
    // caller's block stays the caller's.
    std::shared_ptr<t_shared_block> block;
    try
    {
        block = std::make_shared<t_shared_block>(memory != nullptr ? memory : allocated,
                                                 kind == t_global_memory_kind::movable,
                                                 allocated != nullptr);
    }
    catch (...)
    {
        if (allocated != nullptr)
            GlobalFree(allocated);
        throw;
    }
    auto* const created = new t_hglobal_stream(block, 0);
    block->set_delete_on_release(delete_on_release != FALSE);  // no other stream shares it yet
    *stream = created;
    return S_OK;
}
catch (...)
{
    return hresult_from_current_exception();
}

HRESULT GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory)
{
    if (memory == nullptr)
        return E_INVALIDARG;
    *memory = nullptr;
    if (stream == nullptr)
        return E_INVALIDARG;
    // Only this library's streams answer its private interface id.
    IStream* own = nullptr;
    if (FAILED(stream->QueryInterface(k_iid_hglobal_stream, reinterpret_cast<void**>(&own))))
        return E_INVALIDARG;
    *memory = static_cast<t_hglobal_stream*>(own)->memory();
    own->Release();
    return S_OK;
}
