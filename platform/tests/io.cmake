# Text services: code pages, system message texts, local memory and debug output.
voka_add_gtest(platform_io_tests
  SOURCES code_page_test.cpp system_message_test.cpp local_memory_test.cpp
          debug_output_test.cpp
  LIBS voka_platform)
