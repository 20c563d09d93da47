# Run by ctest for quenbar_build_check: builds one target of the build tree
# and judges the outcome.
#   cmake -DBUILD_DIR=<dir> -DTARGET=<target> [-DFAILS_WITH=<regex>] -P BuildCheck.cmake
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT DEFINED FAILS_WITH)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET} must build, but did not:\n${output}")
  endif()
elseif(result EQUAL 0)
  message(FATAL_ERROR "${TARGET} must not build, but did")
elseif(NOT output MATCHES "${FAILS_WITH}")
  message(FATAL_ERROR "${TARGET} did not build, but not for the expected reason (${FAILS_WITH}):\n${output}")
endif()
