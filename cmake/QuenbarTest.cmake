# quenbar_test(TARGET LABEL <label> SOURCES <files...> [LIBRARIES <libs...>]
#              [QT] [NAME "<sentence>"] [FUNCTIONS <function...>] [TIMEOUT <seconds>]
#              [PROPERTIES <ctest test properties...>])
#
# One test program, registered with ctest under its label. A Google Test
# program (the default) has each of its cases discovered as a ctest test; in
# a Windows build it is one ctest test run under Wine. A QT program is a Qt
# Test program run on the offscreen platform: one ctest test named by the
# NAME sentence, or one ctest test per entry of FUNCTIONS.
#
# quenbar_wine_session()
#
# The ctest entries that start the Wine session (scripts/wine-session.sh)
# before the tests that require the fixture wine_session, and stop it after
# them. The session's COM5 stands for the device path QUENBAR_WINE_COM5. A
# session of another build tree on the same prefix is waited for.

# Windows programs run in this prefix; a build host's tests of the Windows
# command line are pointed at the Windows build's prefix.
set(QUENBAR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the Windows tests")
set(QUENBAR_WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)
set(QUENBAR_WINE_COM5 ${QUENBAR_WINE_PREFIX}-com5)
if(CMAKE_CROSSCOMPILING)
  # The one cross build is the Windows build: its test programs run under Wine.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUENBAR_WINE_SESSION} ${QUENBAR_WINE_PREFIX} run)
endif()

function(quenbar_test target)
  cmake_parse_arguments(ARG "QT" "LABEL;NAME;TIMEOUT" "SOURCES;LIBRARIES;FUNCTIONS;PROPERTIES" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "quenbar_test(${target}): LABEL is required")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
  quenbar_warnings(${target})
  if(quenbar_desktop IN_LIST ARG_LIBRARIES OR desktop_test_support IN_LIST ARG_LIBRARIES)
    quenbar_desktop_pch(${target})
  endif()

  if(NOT ARG_QT AND CMAKE_CROSSCOMPILING)
    # Discovering the cases would run the program at build time.
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} FIXTURES_REQUIRED wine_session ${ARG_PROPERTIES})
    return()
  endif()
  if(NOT ARG_QT)
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    gtest_discover_tests(${target} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ${ARG_PROPERTIES})
    return()
  endif()

  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE Qt6::Test)
  if(ARG_FUNCTIONS)
    set(names ${ARG_FUNCTIONS})
    foreach(function IN LISTS ARG_FUNCTIONS)
      add_test(NAME ${function} COMMAND ${target} ${function})
    endforeach()
  else()
    set(names "${ARG_NAME}")
    add_test(NAME "${ARG_NAME}" COMMAND ${target})
  endif()
  set_tests_properties(${names} PROPERTIES
    LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

function(quenbar_wine_session)
  add_test(NAME wine_session_start
    COMMAND ${QUENBAR_WINE_SESSION} ${QUENBAR_WINE_PREFIX} start ${QUENBAR_WINE_COM5} ${CMAKE_BINARY_DIR})
  add_test(NAME wine_session_stop COMMAND ${QUENBAR_WINE_SESSION} ${QUENBAR_WINE_PREFIX} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session LABELS wine TIMEOUT 300)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session LABELS wine TIMEOUT 60)
endfunction()

# quenbar_pulse_session()
#
# The ctest entries that start a private PulseAudio server
# (scripts/pulse-session.sh: the null sinks quenbar_out and quenbar_mic)
# before the tests that require the fixture pulse_session, and stop it after
# them; label audio. Such a test reaches that server, and never the user's,
# with PROPERTIES ENVIRONMENT ${QUENBAR_PULSE_ENVIRONMENT}, and takes
# RESOURCE_LOCK pulse_session: the devices are shared, so two tests that play
# at once would hear each other. May be called from several folders; the
# server is set up once per build tree.
set(QUENBAR_PULSE_DIR ${CMAKE_BINARY_DIR}/pulse-session)
set(QUENBAR_PULSE_ENVIRONMENT PULSE_SERVER=unix:${QUENBAR_PULSE_DIR}/pulse/native)

function(quenbar_pulse_session)
  get_property(done GLOBAL PROPERTY quenbar_pulse_session_added)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY quenbar_pulse_session_added TRUE)
  set(script ${CMAKE_SOURCE_DIR}/scripts/pulse-session.sh)
  add_test(NAME pulse_session_start COMMAND ${script} ${QUENBAR_PULSE_DIR} start)
  add_test(NAME pulse_session_stop COMMAND ${script} ${QUENBAR_PULSE_DIR} stop)
  set_tests_properties(pulse_session_start PROPERTIES FIXTURES_SETUP pulse_session LABELS audio TIMEOUT 60)
  set_tests_properties(pulse_session_stop PROPERTIES FIXTURES_CLEANUP pulse_session LABELS audio TIMEOUT 60)
endfunction()

# quenbar_build_check(NAME "<sentence>" TARGET <target> LABEL <label> [FAILS_WITH <regex>])
#
# A check made by the compiler: ctest builds the target, which is left out of
# the normal build. Without FAILS_WITH it must build; with it, it must fail
# with output that matches the expression, so that it fails for the reason
# the check is about and for no other. The checks share the build tree, so
# they run one at a time.
function(quenbar_build_check)
  cmake_parse_arguments(ARG "" "NAME;TARGET;LABEL;FAILS_WITH" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_TARGET OR NOT ARG_LABEL)
    message(FATAL_ERROR "quenbar_build_check: NAME, TARGET and LABEL are required")
  endif()
  set(fails "")
  if(ARG_FAILS_WITH)
    set(fails "-DFAILS_WITH=${ARG_FAILS_WITH}")
  endif()
  add_test(NAME "${ARG_NAME}"
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DTARGET=${ARG_TARGET} ${fails}
                   -P ${CMAKE_SOURCE_DIR}/cmake/BuildCheck.cmake)
  set_tests_properties("${ARG_NAME}" PROPERTIES LABELS ${ARG_LABEL} RESOURCE_LOCK build_tree TIMEOUT 120)
endfunction()

