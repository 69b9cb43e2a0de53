# bench_kernel: event, wait and thread hand-off costs of the platform layer against raw futexes
# (the floor) and std::condition_variable, measured in one run.
add_executable(bench_kernel ${CMAKE_CURRENT_LIST_DIR}/bench_kernel.cpp)
voka_set_warnings(bench_kernel)
target_link_libraries(bench_kernel PRIVATE voka_platform)
