# bench_gate: the cost of a call through one of the COM gate's jump entries against calling the
# OLE32 stand-in's function directly, measured in one run.
add_executable(bench_gate ${CMAKE_CURRENT_LIST_DIR}/bench_gate.cpp)
voka_set_warnings(bench_gate)
target_link_libraries(bench_gate PRIVATE voka_ole32 voka_platform)
set_target_properties(bench_gate PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(bench_gate voka_ole32_gate)
target_compile_definitions(bench_gate PRIVATE
  VOKA_BENCH_GATE_PATH="$<TARGET_FILE:voka_ole32_gate>"
  VOKA_BENCH_OLE32_FILE_NAME="$<TARGET_FILE_NAME:voka_ole32>")
