# The OLE32 stand-in: apartments, the task allocator, BSTRs, error objects, GUID strings, global
# memory, streams on it, marshaling within the process. CLSIDFromString reads program ids from
# the registry: the program runs on a temporary registry database.
voka_add_gtest(platform_ole32_tests
  SOURCES ole32_registry_environment.cpp apartment_test.cpp task_memory_test.cpp bstr_test.cpp error_info_test.cpp
          guid_string_test.cpp global_memory_test.cpp hglobal_stream_test.cpp marshal_test.cpp
          free_threaded_marshaler_test.cpp
  LIBS voka_ole32 voka_platform)
target_compile_definitions(platform_ole32_tests PRIVATE
  REGISTRY_WRITER_PATH="$<TARGET_FILE:registry_writer_for_tests>")

# The registry-backed functions (program ids, class objects, file classes), each test on a
# registry database of its own, with a small in-process server module loaded as COM loads it.
add_library(voka_test_ole32_server MODULE ole32_server/test_server.cpp)
target_include_directories(voka_test_ole32_server PRIVATE ${PROJECT_SOURCE_DIR}/platform/include)
set_target_properties(voka_test_ole32_server PROPERTIES CXX_VISIBILITY_PRESET hidden)
voka_set_warnings(voka_test_ole32_server)

voka_add_gtest(platform_ole32_class_tests
  SOURCES ole32_class_registry_test.cpp
  LIBS voka_ole32 voka_platform)
add_dependencies(platform_ole32_class_tests voka_test_ole32_server voka_test_module_plain)
target_compile_definitions(platform_ole32_class_tests PRIVATE
  VOKA_TEST_OLE32_SERVER="$<TARGET_FILE:voka_test_ole32_server>"
  VOKA_TEST_MODULE_PLAIN="$<TARGET_FILE:voka_test_module_plain>"
  REGISTRY_WRITER_PATH="$<TARGET_FILE:registry_writer_for_tests>")
