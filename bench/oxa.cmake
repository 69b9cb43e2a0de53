# bench_oxa: the task library's managers measured against the floor of handing work to another
# thread and back (raw futexes), std::async and, when libtbb-dev is installed, oneTBB's
# task_group, in one run. It links the real shared library and includes only its public headers.
add_executable(bench_oxa
  ${CMAKE_CURRENT_LIST_DIR}/oxa/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oxa/pll_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/oxa/seq_bench.cpp)
voka_set_warnings(bench_oxa)
find_package(Threads REQUIRED)
target_link_libraries(bench_oxa PRIVATE voka_oxa voka_platform Threads::Threads)
find_package(TBB CONFIG QUIET)
if(TBB_FOUND)
  target_link_libraries(bench_oxa PRIVATE TBB::tbb)
  target_compile_definitions(bench_oxa PRIVATE VOKA_BENCH_HAS_TBB=1)
endif()
