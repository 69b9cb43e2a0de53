voka_add_fuzzer(fuzz_tarnwick_command_line
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tarnwick_command_line_fuzz.cpp
  LIBS tarnwick_base)
