# voka_add_module_entry(<target>): the target is a module with an entry point (an extern "C"
# DllMain). On POSIX hosts the module-entry glue is compiled into it, so that the platform calls
# the entry point when the module is loaded and unloaded; on Windows the system loader does.
function(voka_add_module_entry target)
  if(NOT WIN32)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/module_entry/module_entry_glue.cpp)
  endif()
endfunction()
