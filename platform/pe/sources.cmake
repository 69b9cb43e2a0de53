# The PE reader and the resource updater's planner: portable code, no OS calls (the fuzz targets
# compile these sources alone, with the resource-directory codec).
set(VOKA_PLATFORM_pe_portable_SOURCES
  pe/output_piece.cpp
  pe/pe_checksum.cpp
  pe/pe_format_error.cpp
  pe/pe_image_reader.cpp
  pe/resource_section_layout.cpp
  pe/resource_update_model.cpp
  pe/resource_update_plan.cpp)
list(APPEND VOKA_PLATFORM_pe_SOURCES ${VOKA_PLATFORM_pe_portable_SOURCES})
