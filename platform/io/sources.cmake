# Files, code pages, system message texts, local memory and debugger output.
list(APPEND VOKA_PLATFORM_io_SOURCES
  io/code_page.cpp
  io/iconv_cache.cpp
  io/iconv_codec.cpp
  io/system_message.cpp
  io/local_memory.cpp
  io/heap.cpp
  io/debug_output.cpp
  io/debug_output_capture.cpp
  io/command_line.cpp
  io/file_io.cpp
  io/file_open.cpp
  io/file_path.cpp
  io/file_share.cpp
  io/read_only_mapping.cpp)
