# bench_registry: the registry's set, query and key-creation rates through the Win32 functions and
# through the COM gate's registry storage service (loaded as a module), against an in-memory
# std::map baseline, measured in one run.
add_executable(bench_registry ${CMAKE_CURRENT_LIST_DIR}/bench_registry.cpp)
voka_set_warnings(bench_registry)
target_link_libraries(bench_registry PRIVATE voka_platform)
target_include_directories(bench_registry PRIVATE
  ${PROJECT_SOURCE_DIR}/infrastructure/os/windows/ole32/include)
add_dependencies(bench_registry voka_ole32_gate)
target_compile_definitions(bench_registry PRIVATE
  VOKA_BENCH_GATE_PATH="$<TARGET_FILE:voka_ole32_gate>")
