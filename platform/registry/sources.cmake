# The registry, stored in one SQLite database: the Win32 functions, the handle table, the store
# and its schema, and the text conversions of names and string data.
list(APPEND VOKA_PLATFORM_registry_SOURCES
  registry/registry_upcase.cpp
  registry/registry_text.cpp
  registry/sqlite_error.cpp
  registry/registry_database.cpp
  registry/registry_store.cpp
  registry/registry_store_keys.cpp
  registry/registry_store_values.cpp
  registry/registry_store_enum.cpp
  registry/registry_location.cpp
  registry/registry_handles.cpp
  registry/registry_call.cpp
  registry/reg_key_functions.cpp
  registry/reg_value_functions.cpp
  registry/reg_enum_functions.cpp)

# SQLite, found here so that platform/CMakeLists.txt needs one line to link it. GLOBAL: the
# imported target must be known wherever voka_platform is linked, as the static library passes
# it on.
find_package(SQLite3 REQUIRED GLOBAL)
