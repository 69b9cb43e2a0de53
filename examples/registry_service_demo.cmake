# The registry storage service demo: a client of the COM gate that writes a small configuration
# through the service and walks it back. Included from examples/CMakeLists.txt.
add_executable(voka_registry_service_demo ${CMAKE_CURRENT_LIST_DIR}/registry_service_demo.cpp)
voka_set_warnings(voka_registry_service_demo)
target_include_directories(voka_registry_service_demo PRIVATE
  ${PROJECT_SOURCE_DIR}/infrastructure/os/windows/ole32/include)
target_link_libraries(voka_registry_service_demo PRIVATE voka_ole32_gate voka_ole32 voka_platform)
