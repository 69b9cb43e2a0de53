# Modules loaded to run: small test modules (shared objects with and without an entry point, one
# whose attach fails) loaded by the tests. The test program exports its functions, so the modules'
# entry points can report to it.
foreach(module IN ITEMS counting:1:42 failing:0:43)
  string(REPLACE ":" ";" parts ${module})
  list(GET parts 0 name)
  list(GET parts 1 attach_result)
  list(GET parts 2 answer)
  add_library(voka_test_module_${name} MODULE modules/test_module.cpp)
  target_include_directories(voka_test_module_${name} PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)
  target_compile_definitions(voka_test_module_${name} PRIVATE
    TEST_MODULE_ATTACH_RESULT=${attach_result} TEST_MODULE_ANSWER=${answer})
  set_target_properties(voka_test_module_${name} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  voka_set_warnings(voka_test_module_${name})
endforeach()
add_library(voka_test_module_plain MODULE modules/plain_module.cpp)
voka_set_warnings(voka_test_module_plain)

voka_add_gtest(platform_modules_tests
  SOURCES library_module_test.cpp heap_test.cpp
  LIBS voka_platform)
set_target_properties(platform_modules_tests PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(platform_modules_tests
  voka_test_module_counting voka_test_module_failing voka_test_module_plain)
target_compile_definitions(platform_modules_tests PRIVATE
  VOKA_TEST_MODULE_COUNTING="$<TARGET_FILE:voka_test_module_counting>"
  VOKA_TEST_MODULE_FAILING="$<TARGET_FILE:voka_test_module_failing>"
  VOKA_TEST_MODULE_PLAIN="$<TARGET_FILE:voka_test_module_plain>"
  VOKA_TEST_MODULE_NOT_A_MODULE="${CMAKE_CURRENT_SOURCE_DIR}/modules/plain_module.cpp")

include(elf_resources.cmake)
