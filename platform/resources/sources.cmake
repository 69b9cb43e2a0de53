# The resource-directory codec (codec/: portable, no OS calls) and the module resources behind
# FindResourceExW, LoadResource, LockResource and SizeofResource.
set(VOKA_PLATFORM_resource_codec_SOURCES
  resources/codec/resource_data.cpp
  resources/codec/resource_directory_error.cpp
  resources/codec/resource_directory_reader.cpp
  resources/codec/resource_directory_writer.cpp
  resources/codec/resource_name_text.cpp)
list(APPEND VOKA_PLATFORM_resources_SOURCES
  ${VOKA_PLATFORM_resource_codec_SOURCES}
  resources/find_resource.cpp
  resources/locale_language.cpp
  resources/resource_lookup.cpp
  resources/resource_module.cpp
  resources/resource_module_table.cpp
  resources/resource_view.cpp
  resources/user_default_language.cpp)
