# Modules: data-file modules (LoadLibraryExW with LOAD_LIBRARY_AS_DATAFILE, PE files and the
# .voka_rsrc section of ELF shared objects), modules loaded to run
# (shared objects with an entry point), FreeLibrary, and the
# resource updater's Win32 functions with the writer that replaces a module file safely.
list(APPEND VOKA_PLATFORM_modules_SOURCES
  modules/datafile_module.cpp
  modules/elf_resource_section.cpp
  modules/attached_modules.cpp
  modules/free_library.cpp
  modules/library_module.cpp
  modules/load_library.cpp
  modules/module_file_writer.cpp
  modules/resource_update.cpp
  modules/resource_update_session.cpp)
