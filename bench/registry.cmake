# bench_registry: the registry's set, query and key-creation rates through the Win32 functions
# against an in-memory std::map baseline, measured in one run.
add_executable(bench_registry ${CMAKE_CURRENT_LIST_DIR}/bench_registry.cpp)
voka_set_warnings(bench_registry)
target_link_libraries(bench_registry PRIVATE voka_platform)
