# quenbar_host_header_library(<target> <folder>)
#
# A header-only library of the build host used by a cross build: an
# imported target whose include path holds /usr/include/<folder> alone, since
# the host's whole /usr/include would hide the target's C library headers.
function(quenbar_host_header_library target folder)
  if(TARGET ${target})
    return()
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK /usr/include/${folder} ${root}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${root})
endfunction()
