# voka_add_module_entry(<target>): the target is a module with an entry point (an extern "C"
# DllMain). On POSIX hosts the module-entry glue is compiled into it, so that the platform calls
# the entry point when the module is loaded and unloaded; on Windows the system loader does.
function(voka_add_module_entry target)
  if(NOT WIN32)
    # Last among the module's sources, so that its constructor runs after the module's statics
    # are built.
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/module_entry/module_entry_glue.cpp)
    # As on Windows, each module keeps its own copy of an inline function's statics: GNU unique
    # symbols would instead mark the module never to be unloaded.
    target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
  endif()
endfunction()
