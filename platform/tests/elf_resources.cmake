# Data-file loading of ELF shared objects: the .voka_rsrc section of synthetic ELF files (every
# kind of damage) and of a real module built with voka_add_module_resources.
add_library(voka_test_module_resources MODULE modules/resource_module.cpp)
voka_add_module_resources(voka_test_module_resources SOURCE modules/resource_module.resources)
voka_set_warnings(voka_test_module_resources)

voka_add_gtest(platform_elf_resources_tests
  SOURCES elf_resource_section_test.cpp
  LIBS voka_platform)
target_include_directories(platform_elf_resources_tests PRIVATE ${CMAKE_SOURCE_DIR}/platform)
add_dependencies(platform_elf_resources_tests voka_test_module_resources)
target_compile_definitions(platform_elf_resources_tests PRIVATE
  VOKA_TEST_MODULE_RESOURCES="$<TARGET_FILE:voka_test_module_resources>")
