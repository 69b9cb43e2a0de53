// INondelegatingUnknown: the unknown of a COM object's own identity, apart from the IUnknown
// that its interfaces show to clients.
#pragma once

#include "voka/win32.h"

namespace voka::lib::com::base
{

// When an object is aggregated, its interfaces pass QueryInterface, AddRef and Release to the
// outer object; the outer object reaches the inner one's own identity and count through this
// unknown, which never passes calls on. An object that is not aggregated uses it as its
// controlling unknown. The operations behave as IUnknown's (the same slots, the same rules);
// see TBaseUnknown3A for the implementation.
struct INondelegatingUnknown
{
    virtual HRESULT STDMETHODCALLTYPE NondelegatingQueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE NondelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NondelegatingRelease() = 0;
};

}  // namespace voka::lib::com::base
