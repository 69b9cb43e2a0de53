// Owner of a resource-update handle from BeginUpdateResourceW.
#include "update_holder.h"

#include <utility>

namespace tw
{

t_update_holder::~t_update_holder()
{
    if (m_handle != nullptr)
    {
        const DWORD saved_error = ::GetLastError();
        ::EndUpdateResourceW(m_handle, TRUE);
        ::SetLastError(saved_error);
    }
}

bool t_update_holder::begin(const std::wstring& module_path)
{
    m_handle = ::BeginUpdateResourceW(module_path.c_str(), FALSE);
    return m_handle != nullptr;
}

bool t_update_holder::delete_resource(const std::wstring& type_name, const t_resource_name& name,
                                      std::uint16_t language)
{
    return ::UpdateResourceW(m_handle, type_name.c_str(), name.get(), language, nullptr, 0) !=
           FALSE;
}

bool t_update_holder::add_resource(const std::wstring& type_name, const t_resource_name& name,
                                   std::uint16_t language, std::vector<BYTE>& data)
{
    return ::UpdateResourceW(m_handle, type_name.c_str(), name.get(), language,
                             data.empty() ? nullptr : data.data(),
                             static_cast<DWORD>(data.size())) != FALSE;
}

bool t_update_holder::commit()
{
    return ::EndUpdateResourceW(std::exchange(m_handle, nullptr), FALSE) != FALSE;
}

}  // namespace tw
