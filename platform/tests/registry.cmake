# The registry: keys, values, listings and storage, each test on a database of its own in a
# temporary folder; the storage tests start a writer program as child processes.
add_executable(registry_writer_for_tests registry_writer_for_tests.cpp)
voka_set_warnings(registry_writer_for_tests)
target_link_libraries(registry_writer_for_tests PRIVATE voka_platform)

voka_add_gtest(platform_registry_tests
  SOURCES registry_key_test.cpp registry_value_test.cpp registry_enum_test.cpp
          registry_storage_test.cpp
  LIBS voka_platform SQLite::SQLite3)
add_dependencies(platform_registry_tests registry_writer_for_tests)
target_compile_definitions(platform_registry_tests
  PRIVATE REGISTRY_WRITER_PATH="$<TARGET_FILE:registry_writer_for_tests>")
