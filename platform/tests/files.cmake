# Files and the command line: CreateFileW and friends, share modes, GetCommandLineW (through a
# child program started with chosen arguments).
add_executable(platform_command_line_child command_line_child.cpp)
voka_set_warnings(platform_command_line_child)
target_link_libraries(platform_command_line_child PRIVATE voka_platform)

voka_add_gtest(platform_files_tests
  SOURCES file_test.cpp file_share_test.cpp command_line_test.cpp
  LIBS voka_platform)
add_dependencies(platform_files_tests platform_command_line_child)
target_compile_definitions(platform_files_tests
  PRIVATE VOKA_COMMAND_LINE_CHILD="$<TARGET_FILE:platform_command_line_child>")
