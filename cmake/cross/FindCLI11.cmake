# Cross builds: CLI11 is header-only, so the build host's copy serves.
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaderLibrary.cmake)
quenbar_host_header_library(CLI11::CLI11 CLI)
set(CLI11_FOUND TRUE)
