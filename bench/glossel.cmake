# bench_glossel: runs bench/glossel.sh against the glossel built here (builds glossel first).
if(TARGET glossel)
  add_custom_target(bench_glossel
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/glossel.sh $<TARGET_FILE:glossel>
    DEPENDS glossel
    USES_TERMINAL
    COMMENT "glossel against cat on a 100 MB source")
endif()
