# fuzz_resource_directory: the resource-directory parser, with a round trip through the builder
# for what it accepts. The codec is portable, so the target compiles the codec's sources alone.
# fuzz_resource_directory_seeds writes the seed corpus in corpus/fuzz_resource_directory/.
include(${CMAKE_SOURCE_DIR}/platform/resources/sources.cmake)
set(VOKA_FUZZ_resource_codec_SOURCES ${VOKA_PLATFORM_resource_codec_SOURCES})
list(TRANSFORM VOKA_FUZZ_resource_codec_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/platform/)

voka_add_fuzzer(fuzz_resource_directory
  SOURCES resource_directory_fuzz.cpp ${VOKA_FUZZ_resource_codec_SOURCES})
target_include_directories(fuzz_resource_directory PRIVATE ${CMAKE_SOURCE_DIR}/platform/include)

add_executable(fuzz_resource_directory_seeds
  resource_directory_seeds.cpp ${VOKA_FUZZ_resource_codec_SOURCES})
voka_set_warnings(fuzz_resource_directory_seeds)
target_include_directories(fuzz_resource_directory_seeds
  PRIVATE ${CMAKE_SOURCE_DIR}/platform/include)
