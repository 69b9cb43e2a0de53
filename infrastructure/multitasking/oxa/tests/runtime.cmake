# Tests of the task library's runtime: the internals (the test program is the module itself) and
# the real library file, loaded as a client loads it, also next to stand-in gates.

# Stand-in gates: shared objects that carry the gate's soname and its three imported functions but
# misbehave at the identifier check. Tests copy one under the gate's file name next to a copy of
# the task library, whose run path ($ORIGIN first) then finds the stand-in instead of the gate.
function(voka_oxa_add_stand_in_gate target kind)
  add_library(${target} SHARED runtime/stand_in_gate.cpp)
  voka_set_warnings(${target})
  target_compile_definitions(${target} PRIVATE VOKA_STAND_IN_GATE_KIND=${kind})
  target_link_libraries(${target} PRIVATE voka_platform)
  set_target_properties(${target} PROPERTIES NO_SONAME ON)
  target_link_options(${target} PRIVATE
    -Wl,-soname,$<TARGET_FILE_NAME:voka_ole32_gate>)
endfunction()
voka_oxa_add_stand_in_gate(oxa_test_gate_no_export 1)
voka_oxa_add_stand_in_gate(oxa_test_gate_answers_false 2)
voka_oxa_add_stand_in_gate(oxa_test_gate_other_api 3)

# The internals: memory, trace and leak lines, module start and stop, the gate check, the error
# traits over message tables, Win32 error texts, constant strings.
voka_add_gtest(oxa_runtime_tests
  SOURCES
    runtime/const_string_test.cpp
    runtime/error_traits_test.cpp
    runtime/gate_check_test.cpp
    runtime/guid_text_test.cpp
    runtime/module_test.cpp
    runtime/raw_memory_test.cpp
    runtime/win32_error_text_test.cpp
  LIBS voka_oxa_internal)
target_include_directories(oxa_runtime_tests PRIVATE
  ${CMAKE_SOURCE_DIR}/infrastructure/core/tests)
add_dependencies(oxa_runtime_tests oxa_test_gate_other_api)
target_compile_definitions(oxa_runtime_tests PRIVATE
  VOKA_TEST_GATE_FILE_NAME="$<TARGET_FILE_NAME:voka_ole32_gate>"
  VOKA_TEST_OTHER_API_GATE="$<TARGET_FILE:oxa_test_gate_other_api>")

# A client process for one load: loads a library (after an optional preload), reports the result
# and the library's API identifier on standard output, and unloads it.
add_executable(oxa_test_load_probe runtime/load_probe.cpp)
voka_set_warnings(oxa_test_load_probe)
target_link_libraries(oxa_test_load_probe PRIVATE voka_platform voka_core_shared)

# The real library file.
voka_add_gtest(oxa_library_tests
  SOURCES runtime/library_load_test.cpp
  LIBS voka_platform)
add_dependencies(oxa_library_tests voka_oxa oxa_test_load_probe oxa_test_gate_no_export
  oxa_test_gate_answers_false oxa_test_gate_other_api)
target_compile_definitions(oxa_library_tests PRIVATE
  VOKA_TEST_OXA_LIBRARY="$<TARGET_FILE:voka_oxa>"
  VOKA_TEST_GATE_LIBRARY="$<TARGET_FILE:voka_ole32_gate>"
  VOKA_TEST_GATE_FILE_NAME="$<TARGET_FILE_NAME:voka_ole32_gate>"
  VOKA_TEST_LOAD_PROBE="$<TARGET_FILE:oxa_test_load_probe>"
  VOKA_TEST_GATE_NO_EXPORT="$<TARGET_FILE:oxa_test_gate_no_export>"
  VOKA_TEST_GATE_ANSWERS_FALSE="$<TARGET_FILE:oxa_test_gate_answers_false>"
  VOKA_TEST_GATE_OTHER_API="$<TARGET_FILE:oxa_test_gate_other_api>")

# A client linked to the real library at build time, for the leak line at process end.
add_executable(oxa_test_leak_client runtime/leak_client.cpp)
voka_set_warnings(oxa_test_leak_client)
target_link_libraries(oxa_test_leak_client PRIVATE voka_oxa)
set_target_properties(oxa_test_leak_client PROPERTIES BUILD_RPATH "$<TARGET_FILE_DIR:voka_oxa>")

voka_add_gtest(oxa_leak_line_tests
  SOURCES runtime/leak_line_test.cpp
  LIBS voka_platform)
add_dependencies(oxa_leak_line_tests oxa_test_leak_client)
target_compile_definitions(oxa_leak_line_tests PRIVATE
  VOKA_TEST_LEAK_CLIENT="$<TARGET_FILE:oxa_test_leak_client>")

# The resources of the built files, read back with the resource tool's read command.
voka_add_gtest(oxa_library_resources_tests
  SOURCES runtime/library_resources_test.cpp
  LIBS tarnwick_lib voka_platform)
add_dependencies(oxa_library_resources_tests voka_oxa voka_ole32_gate voka_core_shared)
target_compile_definitions(oxa_library_resources_tests PRIVATE
  VOKA_TEST_OXA_LIBRARY="$<TARGET_FILE:voka_oxa>"
  VOKA_TEST_GATE_LIBRARY="$<TARGET_FILE:voka_ole32_gate>"
  VOKA_TEST_CORE_LIBRARY="$<TARGET_FILE:voka_core_shared>")
