// GetClassFile: the class of a file, found through its extension's registration.
#include "class_keys.h"
#include "com_object.h"

#include <string>

using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::read_class_string;

namespace
{

// Whether the file can be opened for reading (it is closed again at once).
bool can_open_for_reading(LPCOLESTR file_name) noexcept
{
    const HANDLE file = CreateFileW(file_name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// The extension of the file's name with its dot (".txt"), or empty when the name has none.
std::wstring extension_of(const std::wstring& path)
{
    const std::size_t name_start = path.find_last_of(L"/\\");
    const std::size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos || (name_start != std::wstring::npos && dot < name_start) ||
        dot + 1 == path.size())
        return {};
    return path.substr(dot);
}

}  // namespace

HRESULT GetClassFile(LPCOLESTR file_name, CLSID* class_id)
{
    if (file_name == nullptr || class_id == nullptr)
        return E_INVALIDARG;
    *class_id = CLSID_NULL;
    try
    {
        if (!can_open_for_reading(file_name))
            return MK_E_CANTOPENFILE;
        const std::wstring extension = extension_of(file_name);
        std::wstring prog_id;
        if (extension.empty() || read_class_string(extension, prog_id) != ERROR_SUCCESS ||
            prog_id.empty())
            return MK_E_INVALIDEXTENSION;
        if (CLSIDFromProgID(prog_id.c_str(), class_id) != S_OK)
        {
            *class_id = CLSID_NULL;
            return MK_E_INVALIDEXTENSION;
        }
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }
}
