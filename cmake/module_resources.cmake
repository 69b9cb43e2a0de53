# voka_add_module_resources(<target> SOURCE <file>): compiles the module's resource source with
# voka-rc at build time and adds the generated C++ source, which embeds the resource section in
# the ".voka_rsrc" section of <target> (see tools/voka-rc/README.md). The output is rebuilt when
# the source or the compiler changes. Give it to the shared library or executable itself, never to
# a static or object library that other modules link: each module must carry exactly one
# .voka_rsrc section and one definition of its two symbols.
function(voka_add_module_resources target)
  cmake_parse_arguments(ARG "" "SOURCE" "" ${ARGN})
  if(NOT ARG_SOURCE OR ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "usage: voka_add_module_resources(<target> SOURCE <file>)")
  endif()
  get_filename_component(source "${ARG_SOURCE}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(stem "${source}" NAME_WE)
  set(output_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources")
  set(output "${output_dir}/${stem}_resources.cpp")
  file(MAKE_DIRECTORY "${output_dir}")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND voka_rc "${source}" -o "${output}"
    DEPENDS "${source}" voka_rc
    COMMENT "Compiling the resources of ${target} from ${stem}"
    VERBATIM)
  target_sources(${target} PRIVATE "${output}")
endfunction()
