# quenbar_test(TARGET LABEL <label> SOURCES <files...> [LIBRARIES <libs...>]
#              [QT] [SOUND] [NAME "<sentence>"] [FUNCTIONS <function...>] [TIMEOUT <seconds>]
#              [PROPERTIES <ctest test properties...>])
#
# One test program, registered with ctest under its label. A Google Test
# program (the default) has each of its cases discovered as a ctest test; in
# a Windows build it is one ctest test run under Wine. A QT program is a Qt
# Test program run on the offscreen platform: one ctest test named by the
# NAME sentence, or one ctest test per entry of FUNCTIONS. A SOUND program's
# tests share a private sound server of their own (quenbar_pulse_server).
#
# quenbar_qt_tests(TARGET CLASS <TestClass> LABEL <label> [SOUND]
#                  (NAME "<sentence>" | FUNCTIONS <function...>) [TIMEOUT <seconds>])
#
# The ctest tests of one test class of a Qt Test program that holds several
# (its first argument names the class to run): one test named by the
# sentence, or one per function. Labels, servers and time-outs are per class.
#
# quenbar_label_targets()
#
# After the last test: one target per label, tests_<label>, that builds the
# programs of that label's tests, so that a build that runs only some
# labels (ctest -L) builds only what they run.
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
  cmake_parse_arguments(ARG "QT;SOUND" "LABEL;NAME;TIMEOUT" "SOURCES;LIBRARIES;FUNCTIONS;PROPERTIES" ${ARGN})
  if(NOT ARG_LABEL)
    message(FATAL_ERROR "quenbar_test(${target}): LABEL is required")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${target} ${ARG_SOURCES})
  quenbar_labelled(${ARG_LABEL} ${target})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
  quenbar_warnings(${target})
  if(quenbar_desktop IN_LIST ARG_LIBRARIES OR desktop_test_support IN_LIST ARG_LIBRARIES)
    quenbar_desktop_pch(${target})
  elseif(NOT ARG_QT)
    target_precompile_headers(${target} REUSE_FROM quenbar_test_pch)
  endif()

  if(NOT ARG_QT AND CMAKE_CROSSCOMPILING)
    # Discovering the cases would run the program at build time.
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} FIXTURES_REQUIRED wine_session ${ARG_PROPERTIES})
    return()
  endif()
  set(environment "")
  if(ARG_SOUND)
    quenbar_pulse_server(${target} ${ARG_LABEL})
    list(APPEND ARG_PROPERTIES ${QUENBAR_PULSE_PROPERTIES})
    set(environment "${QUENBAR_PULSE_ENVIRONMENT}")
  endif()
  if(NOT ARG_QT)
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    if(environment)
      list(APPEND ARG_PROPERTIES ENVIRONMENT "${environment}")
    endif()
    gtest_discover_tests(${target} PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ${ARG_PROPERTIES})
    return()
  endif()

  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PRIVATE Qt6::Test)
  quenbar_add_qt_tests(${target} "" "${ARG_NAME}" "${ARG_FUNCTIONS}" ${ARG_LABEL} ${ARG_TIMEOUT}
    "${environment}" "${ARG_PROPERTIES}")
endfunction()

function(quenbar_qt_tests target)
  cmake_parse_arguments(ARG "SOUND" "CLASS;LABEL;NAME;TIMEOUT" "FUNCTIONS" ${ARGN})
  if(NOT ARG_CLASS OR NOT ARG_LABEL)
    message(FATAL_ERROR "quenbar_qt_tests(${target}): CLASS and LABEL are required")
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(environment "")
  set(properties "")
  if(ARG_SOUND)
    quenbar_pulse_server(${ARG_CLASS} ${ARG_LABEL})
    set(properties ${QUENBAR_PULSE_PROPERTIES})
    set(environment "${QUENBAR_PULSE_ENVIRONMENT}")
  endif()
  quenbar_labelled(${ARG_LABEL} ${target})
  quenbar_add_qt_tests(${target} ${ARG_CLASS} "${ARG_NAME}" "${ARG_FUNCTIONS}" ${ARG_LABEL} ${ARG_TIMEOUT}
    "${environment}" "${properties}")
endfunction()

# The program `target` runs tests of `label`.
function(quenbar_labelled label target)
  set_property(GLOBAL APPEND PROPERTY quenbar_test_labels ${label})
  set_property(GLOBAL APPEND PROPERTY quenbar_label_${label} ${target})
endfunction()

function(quenbar_label_targets)
  get_property(labels GLOBAL PROPERTY quenbar_test_labels)
  list(REMOVE_DUPLICATES labels)
  foreach(label IN LISTS labels)
    get_property(targets GLOBAL PROPERTY quenbar_label_${label})
    add_custom_target(tests_${label})
    add_dependencies(tests_${label} ${targets})
  endforeach()
endfunction()

# The ctest tests of a Qt Test program (of its test class `class`, if it holds several).
function(quenbar_add_qt_tests target class name functions label timeout environment properties)
  if(functions)
    set(names ${functions})
    foreach(function IN LISTS functions)
      add_test(NAME ${function} COMMAND ${target} ${class} ${function})
    endforeach()
  else()
    set(names "${name}")
    add_test(NAME "${name}" COMMAND ${target} ${class})
  endif()
  set(environment QT_QPA_PLATFORM=offscreen ${environment})
  set_tests_properties(${names} PROPERTIES
    LABELS ${label} TIMEOUT ${timeout} ENVIRONMENT "${environment}" ${properties})
endfunction()

function(quenbar_wine_session)
  add_test(NAME wine_session_start
    COMMAND ${QUENBAR_WINE_SESSION} ${QUENBAR_WINE_PREFIX} start ${QUENBAR_WINE_COM5} ${CMAKE_BINARY_DIR})
  add_test(NAME wine_session_stop COMMAND ${QUENBAR_WINE_SESSION} ${QUENBAR_WINE_PREFIX} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine_session LABELS wine TIMEOUT 300)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine_session LABELS wine TIMEOUT 60)
endfunction()

# quenbar_pulse_server(NAME LABEL)
#
# The ctest entries that start a private PulseAudio server
# (scripts/pulse-session.sh: the null sinks quenbar_out and quenbar_mic) of
# its own for one program's sound tests before the first of them, and stop
# it after the last. The caller adds QUENBAR_PULSE_PROPERTIES to those
# tests' properties and QUENBAR_PULSE_ENVIRONMENT (";PULSE_SERVER=...") to
# their environment: so they reach that server and never the user's, run one
# at a time on it (its devices are shared: two tests that play at once would
# hear each other), and beside the other programs' sound tests, each on a
# server of its own.
function(quenbar_pulse_server name label)
  set(dir ${CMAKE_BINARY_DIR}/pulse/${name})
  set(script ${CMAKE_SOURCE_DIR}/scripts/pulse-session.sh)
  add_test(NAME ${name}_pulse_start COMMAND ${script} ${dir} start)
  add_test(NAME ${name}_pulse_stop COMMAND ${script} ${dir} stop)
  set_tests_properties(${name}_pulse_start PROPERTIES FIXTURES_SETUP pulse_${name} LABELS ${label} TIMEOUT 60)
  set_tests_properties(${name}_pulse_stop PROPERTIES FIXTURES_CLEANUP pulse_${name} LABELS ${label} TIMEOUT 60)
  set(QUENBAR_PULSE_PROPERTIES FIXTURES_REQUIRED pulse_${name} RESOURCE_LOCK pulse_${name} PARENT_SCOPE)
  set(QUENBAR_PULSE_ENVIRONMENT PULSE_SERVER=unix:${dir}/pulse/native PARENT_SCOPE)
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

