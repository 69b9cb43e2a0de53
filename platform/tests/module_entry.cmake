# Modules with the module-entry glue: a base library, a library that imports it, and a program
# linked against the base at build time (run as a child process by the tests).
foreach(name base dependent sticky)
  add_library(voka_test_glued_${name} SHARED modules/glued_module.cpp)
  voka_add_module_entry(voka_test_glued_${name})
  target_link_libraries(voka_test_glued_${name} PRIVATE voka_platform)
  target_compile_definitions(voka_test_glued_${name} PRIVATE TEST_MODULE_NAME="${name}")
  set_target_properties(voka_test_glued_${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden BUILD_RPATH "$<TARGET_FILE_DIR:voka_test_glued_base>")
  voka_set_warnings(voka_test_glued_${name})
endforeach()
target_link_libraries(voka_test_glued_dependent PRIVATE voka_test_glued_base)
target_compile_definitions(voka_test_glued_base PRIVATE TEST_MODULE_IS_BASE)
# A library the system never unmaps, as one with GNU unique symbols would be.
target_compile_definitions(voka_test_glued_sticky PRIVATE TEST_MODULE_STANDS_ALONE)
target_link_options(voka_test_glued_sticky PRIVATE -Wl,-z,nodelete)

add_executable(platform_module_start_child modules/module_start_child.cpp)
target_link_libraries(platform_module_start_child PRIVATE voka_test_glued_base voka_platform)
set_target_properties(platform_module_start_child PROPERTIES ENABLE_EXPORTS ON)
voka_set_warnings(platform_module_start_child)

voka_add_gtest(platform_module_entry_tests SOURCES module_entry_test.cpp LIBS voka_platform)
set_target_properties(platform_module_entry_tests PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(platform_module_entry_tests voka_test_glued_dependent voka_test_glued_sticky
  platform_module_start_child)
target_compile_definitions(platform_module_entry_tests PRIVATE
  VOKA_TEST_GLUED_DEPENDENT="$<TARGET_FILE:voka_test_glued_dependent>"
  VOKA_TEST_GLUED_STICKY="$<TARGET_FILE:voka_test_glued_sticky>"
  VOKA_TEST_GLUED_BASE_NAME="$<TARGET_FILE_NAME:voka_test_glued_base>"
  VOKA_TEST_MODULE_START_CHILD="$<TARGET_FILE:platform_module_start_child>")
