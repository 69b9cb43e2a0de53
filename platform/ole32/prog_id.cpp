// CLSIDFromProgID and ProgIDFromCLSID: program ids and class ids as the registry pairs them.
#include "class_keys.h"
#include "com_object.h"

#include <cstring>
#include <string>

using voka::platform::ole32::class_key_path;
using voka::platform::ole32::hresult_from_current_exception;
using voka::platform::ole32::read_class_string;

HRESULT CLSIDFromProgID(LPCOLESTR prog_id, LPCLSID class_id)
{
    if (prog_id == nullptr || class_id == nullptr)
        return E_INVALIDARG;
    *class_id = CLSID_NULL;
    try
    {
        // An empty program id would read HKEY_CLASSES_ROOT\CLSID itself.
        if (prog_id[0] == L'\0')
            return CO_E_CLASSSTRING;
        std::wstring text;
        if (read_class_string(std::wstring(prog_id) + L"\\CLSID", text) != ERROR_SUCCESS)
            return CO_E_CLASSSTRING;
        // Only the brace form counts here: a registered text in another form is no class id.
        if (text.empty() || text[0] != L'{' || CLSIDFromString(text.c_str(), class_id) != S_OK)
        {
            *class_id = CLSID_NULL;
            return CO_E_CLASSSTRING;
        }
        return S_OK;
    }
    catch (...)
    {
        *class_id = CLSID_NULL;
        return hresult_from_current_exception();
    }
}

HRESULT ProgIDFromCLSID(REFCLSID class_id, LPOLESTR* prog_id)
{
    if (prog_id == nullptr)
        return E_INVALIDARG;
    *prog_id = nullptr;
    try
    {
        std::wstring text;
        if (read_class_string(class_key_path(class_id) + L"\\ProgID", text) != ERROR_SUCCESS ||
            text.empty())
            return REGDB_E_CLASSNOTREG;
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (copy == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(copy, text.c_str(), bytes);
        *prog_id = copy;
        return S_OK;
    }
    catch (...)
    {
        return hresult_from_current_exception();
    }
}
