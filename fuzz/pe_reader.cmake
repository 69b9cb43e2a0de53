# fuzz_pe_reader: the PE reader and the updater's planner, without file I/O (see the source). The
# reader and planner are portable, so the target compiles their sources and the codec's alone.
# fuzz_pe_seeds writes the seed corpus of fuzz_pe_reader and fuzz_pe_updater.
include(${CMAKE_SOURCE_DIR}/platform/resources/sources.cmake)
include(${CMAKE_SOURCE_DIR}/platform/pe/sources.cmake)
set(VOKA_FUZZ_pe_SOURCES ${VOKA_PLATFORM_pe_portable_SOURCES} ${VOKA_PLATFORM_resource_codec_SOURCES})
list(TRANSFORM VOKA_FUZZ_pe_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/platform/)

voka_add_fuzzer(fuzz_pe_reader SOURCES pe_reader_fuzz.cpp ${VOKA_FUZZ_pe_SOURCES})
target_include_directories(fuzz_pe_reader
  PRIVATE ${CMAKE_SOURCE_DIR}/platform/include ${CMAKE_SOURCE_DIR}/platform)

add_executable(fuzz_pe_seeds pe_seeds.cpp ${VOKA_FUZZ_pe_SOURCES})
voka_set_warnings(fuzz_pe_seeds)
target_include_directories(fuzz_pe_seeds
  PRIVATE ${CMAKE_SOURCE_DIR}/platform/include ${CMAKE_SOURCE_DIR}/platform/tests)
