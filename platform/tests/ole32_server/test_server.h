// The in-process test server's classes and interface, shared by the server and the tests.
#pragma once

#include "voka/win32.h"

namespace ole32_test_server
{

// Served: objects answer IUnknown and ITestServerValue.
inline constexpr CLSID k_served_class{
    0x6B0E4A11, 0x3C72, 0x4E59, {0xA4, 0x1D, 0x52, 0x90, 0x7F, 0x1E, 0xC3, 0x08}};
// Registered by the tests but not served: DllGetClassObject gives CLASS_E_CLASSNOTAVAILABLE.
inline constexpr CLSID k_unserved_class{
    0x6B0E4A12, 0x3C72, 0x4E59, {0xA4, 0x1D, 0x52, 0x90, 0x7F, 0x1E, 0xC3, 0x08}};

inline constexpr IID IID_ITestServerValue{
    0x6B0E4A13, 0x3C72, 0x4E59, {0xA4, 0x1D, 0x52, 0x90, 0x7F, 0x1E, 0xC3, 0x08}};

// The value every object of the served class gives.
inline constexpr int k_answer = 4711;

struct ITestServerValue : IUnknown
{
    STDMETHOD_(int, GetValue)() PURE;
};

// Exported by the server: the number of its live objects (class objects included) and of
// DllGetClassObject calls.
using t_live_objects = long (*)();
using t_class_object_requests = long (*)();
// The result of the entry point's own request for a class object (S_OK when it made none).
using t_attach_request_result = HRESULT (*)();

}  // namespace ole32_test_server
