# fuzz_glossel: the text loader and the tag transformation together. The library's
# sources are compiled into the target so that libFuzzer's coverage reaches them.
get_target_property(glossel_dir glossel_lib SOURCE_DIR)
get_target_property(glossel_sources glossel_lib SOURCES)
list(TRANSFORM glossel_sources PREPEND ${glossel_dir}/)
voka_add_fuzzer(fuzz_glossel
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/glossel_fuzz.cpp ${glossel_sources}
  LIBS voka_core_formatter)
target_include_directories(fuzz_glossel PRIVATE ${glossel_dir}/src)
