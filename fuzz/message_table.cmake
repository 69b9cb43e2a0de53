voka_add_fuzzer(fuzz_message_table
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/message_table_fuzz.cpp
  LIBS voka_core)
target_include_directories(fuzz_message_table PRIVATE ${CMAKE_SOURCE_DIR}/infrastructure/core/tests)
