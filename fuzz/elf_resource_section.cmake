# fuzz_elf_resource_section: the ELF section lookup of data-file modules (portable code, compiled
# alone), then the codec's parser on the section it finds.
include(${CMAKE_SOURCE_DIR}/platform/resources/sources.cmake)
set(VOKA_FUZZ_elf_SOURCES modules/elf_resource_section.cpp ${VOKA_PLATFORM_resource_codec_SOURCES})
list(TRANSFORM VOKA_FUZZ_elf_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/platform/)

voka_add_fuzzer(fuzz_elf_resource_section
  SOURCES elf_resource_section_fuzz.cpp ${VOKA_FUZZ_elf_SOURCES})
target_include_directories(fuzz_elf_resource_section
  PRIVATE ${CMAKE_SOURCE_DIR}/platform/include ${CMAKE_SOURCE_DIR}/platform)
