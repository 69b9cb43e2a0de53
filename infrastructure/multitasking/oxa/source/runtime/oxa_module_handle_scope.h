// Points the library's resource lookups at another module for a while: for programs that hold
// the library's objects (tests) and supply message tables of their own.
#pragma once

#include "voka/win32.h"

namespace voka::infrastructure::multitasking::oxa
{

// While alive, oxa_module_handle() answers `module`; the destructor puts the previous handle back.
// Use only while no other thread reads the library's texts.
class t_oxa_module_handle_scope
{
public:
    explicit t_oxa_module_handle_scope(HINSTANCE module) noexcept;
    ~t_oxa_module_handle_scope();
    t_oxa_module_handle_scope(const t_oxa_module_handle_scope&) = delete;
    t_oxa_module_handle_scope& operator=(const t_oxa_module_handle_scope&) = delete;

private:
    HINSTANCE m_previous;
};

}  // namespace voka::infrastructure::multitasking::oxa
