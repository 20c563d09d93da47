# cmake -DSOURCE_DIR=... -DOUTPUT=... -DPROJECT_VERSION=... -P WriteVersion.cmake
#
# Writes the header that names this build's version: the project's version,
# and where the sources are a git checkout, what `git describe` says of them
# (so a build from a changed checkout says so). The header is rewritten only
# when its text changes, so that an unchanged checkout rebuilds nothing.
set(version "${PROJECT_VERSION}")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --tags --always --dirty
                  WORKING_DIRECTORY "${SOURCE_DIR}"
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND described)
    set(version "${version} (git ${described})")
  endif()
endif()
set(text "// Made by cmake/WriteVersion.cmake at build time.\n#pragma once\n\ninline constexpr char kQuenbarVersion[] = \"${version}\";\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
