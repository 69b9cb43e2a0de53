// Owner of a file handle from CreateFileW.
#include "file_holder.h"

namespace tw
{

t_file_holder::~t_file_holder()
{
    if (m_handle != INVALID_HANDLE_VALUE)
    {
        const DWORD saved_error = ::GetLastError();
        ::CloseHandle(m_handle);
        ::SetLastError(saved_error);
    }
}

bool t_file_holder::create(const std::wstring& path, DWORD access, DWORD share_mode,
                           DWORD disposition, DWORD flags_and_attributes)
{
    if (m_handle != INVALID_HANDLE_VALUE)
    {
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    m_handle = ::CreateFileW(path.c_str(), access, share_mode, nullptr, disposition,
                             flags_and_attributes, nullptr);
    return m_handle != INVALID_HANDLE_VALUE;
}

bool t_file_holder::close() noexcept
{
    if (m_handle == INVALID_HANDLE_VALUE)
        return true;
    if (!::CloseHandle(m_handle))
        return false;
    m_handle = INVALID_HANDLE_VALUE;
    return true;
}

}  // namespace tw
