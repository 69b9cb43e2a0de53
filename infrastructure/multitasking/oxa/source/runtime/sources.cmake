# The runtime of the task library: module entry, module start and stop, private memory with its
# leak line, the gate check, the error traits and the texts of the library's errors.
list(APPEND VOKA_OXA_SOURCES
  source/runtime/module_entry.cpp
  source/runtime/oxa_module.cpp
  source/runtime/oxa_raw_memory.cpp
  source/runtime/gate_check.cpp
  source/runtime/gate_imports.cpp
  source/runtime/guid_text.cpp
  source/runtime/oxa_error_traits.cpp
  source/runtime/oxa_errors.cpp)
