voka_add_gtest(platform_resources_tests
  SOURCES resource_directory_test.cpp find_resource_test.cpp resource_module_test.cpp
  LIBS voka_platform)
