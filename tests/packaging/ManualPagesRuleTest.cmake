# cpack's check of the staged files: a package without a program's manual
# page is refused, naming the program, unless the pages were left out on
# purpose. Run as cmake -DRULE=RequireManualPages.cmake -DSCRATCH=DIR -P this.
function(check_rule pages_wanted expect_refusal expect_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCPACK_TEMPORARY_INSTALL_DIRECTORY=${SCRATCH}
                          -DCPACK_QUENBAR_MANUAL_PAGES=${pages_wanted} "-DCPACK_QUENBAR_PROGRAMS=quenbar-cli;quenbar"
                          -P ${RULE}
                  RESULT_VARIABLE result ERROR_VARIABLE said)
  string(REGEX REPLACE "[ \n]+" " " said "${said}")  # as cmake wrapped it
  if(expect_refusal AND result EQUAL 0)
    message(FATAL_ERROR "pages ${pages_wanted}: the package was not refused")
  elseif(NOT expect_refusal AND NOT result EQUAL 0)
    message(FATAL_ERROR "pages ${pages_wanted}: refused: ${said}")
  elseif(NOT said MATCHES "${expect_text}")
    message(FATAL_ERROR "pages ${pages_wanted}: said \"${said}\", not \"${expect_text}\"")
  endif()
endfunction()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/usr/bin ${SCRATCH}/usr/share/man/man1)
check_rule(ON TRUE "no manual page for quenbar-cli, quenbar: help2man was not found")
check_rule(OFF FALSE "^$")
file(TOUCH ${SCRATCH}/usr/share/man/man1/quenbar-cli.1.gz)
check_rule(ON TRUE "no manual page for quenbar: ")
file(TOUCH ${SCRATCH}/usr/share/man/man1/quenbar.1.gz)
check_rule(ON FALSE "^$")
