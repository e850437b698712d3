# qdx_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...])
# One GoogleTest binary, its cases registered with ctest one by one.
function(qdx_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 30 PROPERTIES LABELS "${T_LABELS}")
endfunction()
