# bench_restool: replacing and reading one resource of a 50 MB PE32+ module with 2,000 RCDATA
# resources of 25 KiB, against copying the file (the floor), with the peak memory of a write.
# Runs build/bin/tarnwick when it sits beside the benchmark; otherwise the platform's updater
# directly, in a child process of its own.
add_executable(bench_restool ${CMAKE_CURRENT_LIST_DIR}/bench_restool.cpp)
voka_set_warnings(bench_restool)
target_include_directories(bench_restool PRIVATE ${CMAKE_SOURCE_DIR}/platform/tests)
target_link_libraries(bench_restool PRIVATE voka_platform)
