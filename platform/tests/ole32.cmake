# The OLE32 stand-in: apartments, the task allocator, BSTRs, error objects, GUID strings, global
# memory, streams on it, marshaling within the process, and the registry-backed functions.
voka_add_gtest(platform_ole32_tests
  SOURCES apartment_test.cpp task_memory_test.cpp bstr_test.cpp error_info_test.cpp
          guid_string_test.cpp global_memory_test.cpp hglobal_stream_test.cpp marshal_test.cpp
          free_threaded_marshaler_test.cpp class_registry_test.cpp
  LIBS voka_ole32 voka_platform)
