# The registry storage service of the COM gate, as sources of the gate library.
set(VOKA_GATE_STORAGE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/key_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/root_storage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/service_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/storage_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sub_storage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sub_storage_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_rules.cpp)
