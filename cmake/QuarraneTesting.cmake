# Test executables live in build/tests so that build/bin holds only what ships.
set(QUARRANE_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
include(GoogleTest)

# Sanitized programs run several times slower; their tests get that much longer before CTest
# gives up on them.
# QUARRANE_TEST_TIME_SCALE stretches the waits of tests for the programs they start alike.
set(QUARRANE_TEST_TIMEOUT 300)
set(QUARRANE_TEST_TIME_SCALE 1)
if(QUARRANE_SANITIZE MATCHES "thread")
  set(QUARRANE_TEST_TIMEOUT 900)
  set(QUARRANE_TEST_TIME_SCALE 4)
elseif(QUARRANE_SANITIZE)
  set(QUARRANE_TEST_TIMEOUT 900)
  set(QUARRANE_TEST_TIME_SCALE 2)
endif()

# Builds every test executable labelled "threaded" (and the programs they start): the thread
# sanitizer build makes only this target and runs `ctest -L threaded`.
add_custom_target(threaded_tests)

# Every test runs with desktop folders, a home and an error-log folder of the build's own, so that
# no test reaches the runner's settings, trash or state, nor leaves a log beside the programs.
# The GoogleTest main puts each executable in a temporary set of its own on top of these.
set(QUARRANE_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
set(QUARRANE_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen" "HOME=${QUARRANE_TEST_HOME}"
    "QUARRANE_LOG_DIR=${QUARRANE_TEST_HOME}/log")
foreach(xdg CONFIG STATE DATA CACHE RUNTIME)
  string(TOLOWER ${xdg} folder)
  file(MAKE_DIRECTORY ${QUARRANE_TEST_HOME}/xdg-${folder})
  list(APPEND QUARRANE_TEST_ENVIRONMENT "XDG_${xdg}_HOME=${QUARRANE_TEST_HOME}/xdg-${folder}")
endforeach()
list(TRANSFORM QUARRANE_TEST_ENVIRONMENT REPLACE "^XDG_RUNTIME_HOME" "XDG_RUNTIME_DIR")
file(CHMOD ${QUARRANE_TEST_HOME}/xdg-runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# The CTest properties every test of an executable gets; LABELS joins it to a selection.
# gtest_discover_tests writes each element of a list as a property of its own, which would push
# TIMEOUT and LABELS out of place: GoogleTest executables get the one variable their main() does
# not set itself (it makes desktop and log folders of its own), Qt Test executables all of them.
function(_quarrane_test_properties out name labels environment)
  list(JOIN environment "\\;" environment)
  set(props ENVIRONMENT "${environment}" TIMEOUT ${QUARRANE_TEST_TIMEOUT})
  if(labels)
    list(JOIN labels "\\;" joined)
    list(APPEND props LABELS "${joined}")
    if("threaded" IN_LIST labels)
      add_dependencies(threaded_tests ${name})
    endif()
  endif()
  set(${out} "${props}" PARENT_SCOPE)
endfunction()

# One PostgreSQL server for the whole run (tests/support/test-postgres-server): each CTest test is
# a process, and a server of its own for each would cost seconds apiece. The file names its folder.
set(QUARRANE_TEST_PG_FILE ${CMAKE_BINARY_DIR}/test-postgres-server)

# quarrane_add_gtest(NAME SOURCES ... LIBS ... [LABELS label...] [POSTGRES])
# A GoogleTest executable whose main() creates a QCoreApplication; each TEST is one CTest test.
# LABELS "threaded" puts it in the thread sanitizer run. POSTGRES: its tests share the run's
# PostgreSQL server. Parameterised tests are named by their name generator (Suite.Case/Server).
function(quarrane_add_gtest name)
  cmake_parse_arguments(ARG "POSTGRES" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE testsupport ${ARG_LIBS} GTest::gtest GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUARRANE_TEST_DIR})
  target_compile_definitions(${name} PRIVATE QUARRANE_TEST_TIME_SCALE=${QUARRANE_TEST_TIME_SCALE})
  _quarrane_test_properties(props ${name} "${ARG_LABELS}" "QT_QPA_PLATFORM=offscreen")
  if(ARG_POSTGRES)
    # Compiled in rather than in ENVIRONMENT, which holds one variable here (see above).
    target_compile_definitions(${name} PRIVATE QUARRANE_TEST_PG_FILE="${QUARRANE_TEST_PG_FILE}")
    list(APPEND props FIXTURES_REQUIRED postgres_server)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    NO_PRETTY_VALUES
    PROPERTIES ${props})
endfunction()

# quarrane_add_qtest(NAME SOURCES ... LIBS ... [LABELS label...])
# A Qt Test executable (event loop, widgets); the whole executable is one CTest test.
function(quarrane_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QUARRANE_TEST_DIR})
  target_compile_definitions(${name} PRIVATE QUARRANE_TEST_TIME_SCALE=${QUARRANE_TEST_TIME_SCALE})
  add_test(NAME ${name} COMMAND ${name})
  _quarrane_test_properties(props ${name} "${ARG_LABELS}" "${QUARRANE_TEST_ENVIRONMENT}")
  set_tests_properties(${name} PROPERTIES ${props})
endfunction()
