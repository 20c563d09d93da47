# Run by cpack after it staged the package's files and before it makes the
# package: a package of the programs without their manual pages is refused,
# unless the build was configured without them on purpose
# (-DQUENBAR_MANUAL_PAGES=OFF). Given CPACK_TEMPORARY_INSTALL_DIRECTORY (the
# staged files), CPACK_QUENBAR_MANUAL_PAGES and CPACK_QUENBAR_PROGRAMS.
if(NOT CPACK_QUENBAR_MANUAL_PAGES)
  return()
endif()
file(GLOB_RECURSE staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.1.gz")
set(missing)
foreach(program ${CPACK_QUENBAR_PROGRAMS})
  if(NOT "${staged}" MATCHES "/man1/${program}\\.1\\.gz(;|$)")
    list(APPEND missing ${program})
  endif()
endforeach()
if(missing)
  list(JOIN missing ", " missing)
  message(FATAL_ERROR "The package would have no manual page for ${missing}: help2man was not found when the "
                      "build was configured (Debian: apt-get install help2man, then configure again). To make the "
                      "package without manual pages, configure with -DQUENBAR_MANUAL_PAGES=OFF.")
endif()
