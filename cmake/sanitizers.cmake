# Applies VOKA_SANITIZE (for example "address,undefined" or "thread") to the whole build.
if(VOKA_SANITIZE)
  add_compile_options(-fsanitize=${VOKA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VOKA_SANITIZE})
endif()

# Fuzz builds instrument every library for coverage, not just the fuzz targets.
if(VOKA_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
