# The PE reader, the checksum and the resource-section layout (portable internals, included by
# path), and the Win32 functions built on them: LoadLibraryExW for data files and the resource
# updater, on synthetic modules of every layout the updater distinguishes.
voka_add_gtest(platform_pe_tests
  SOURCES pe_reader_test.cpp pe_checksum_test.cpp resource_section_layout_test.cpp
          datafile_module_test.cpp resource_update_test.cpp resource_update_layout_test.cpp
  LIBS voka_platform)
target_include_directories(platform_pe_tests PRIVATE ${CMAKE_SOURCE_DIR}/platform)
