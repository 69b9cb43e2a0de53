// The translation of exceptions into HRESULTs at the stand-in's boundary.
#include "com_object.h"

#include <exception>
#include <new>

namespace voka::platform::ole32
{

HRESULT hresult_from_current_exception() noexcept
{
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

}  // namespace voka::platform::ole32
