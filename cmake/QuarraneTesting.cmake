# Test executables live in build/tests so that build/bin holds only what ships.
set(QUARRANE_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
include(GoogleTest)

# quarrane_add_gtest(NAME SOURCES ... LIBS ...)
# A GoogleTest executable whose main() creates a QCoreApplication; each TEST is one CTest test.
function(quarrane_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE testsupport ${ARG_LIBS} GTest::gtest GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUARRANE_TEST_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# quarrane_add_qtest(NAME SOURCES ... LIBS ...)
# A Qt Test executable (event loop, widgets); the whole executable is one CTest test.
function(quarrane_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUARRANE_TEST_DIR})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
