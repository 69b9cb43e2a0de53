# fuzz_voka_reg_import: the .reg file parser of voka-reg, and the writer's round trip of whatever
# it accepts. The sources are compiled into the target so that libFuzzer's coverage reaches them.
get_target_property(voka_reg_dir voka_reg_lib SOURCE_DIR)
voka_add_fuzzer(fuzz_voka_reg_import
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/voka_reg_import_fuzz.cpp
          ${voka_reg_dir}/src/reg_file_parser.cpp
          ${voka_reg_dir}/src/reg_file_writer.cpp
          ${voka_reg_dir}/src/value_data.cpp
          ${voka_reg_dir}/src/tool_error.cpp
  LIBS voka_platform)
target_include_directories(fuzz_voka_reg_import PRIVATE ${voka_reg_dir}/src)
