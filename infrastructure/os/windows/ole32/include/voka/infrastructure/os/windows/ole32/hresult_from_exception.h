// The one translation of C++ exceptions into HRESULTs at the gate's COM boundary.
#pragma once

#include "voka/win32.h"

#include <exception>
#include <new>

namespace voka::lib::com::base
{

// The HRESULT for the exception being handled: std::bad_alloc and every exception derived from
// it give E_OUTOFMEMORY, every other exception of the std::exception family E_FAIL, anything
// else E_UNEXPECTED (also a call outside a handler, where no exception is being handled).
// Every COM method that can fail by exception ends with
//
//     catch (...) { return HResultFromCurrentException(); }
inline HRESULT HResultFromCurrentException() noexcept
{
    if (!std::current_exception())
        return E_UNEXPECTED;
    try
    {
        throw;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (const std::exception&)
    {
        return E_FAIL;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}

}  // namespace voka::lib::com::base
