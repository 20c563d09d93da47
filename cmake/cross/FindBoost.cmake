# Cross builds: the remote needs only Boost's header-only libraries (Beast,
# Asio), which speak Winsock as well, so the build host's copy serves.
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaderLibrary.cmake)
quenbar_host_header_library(Boost::headers boost)
set(Boost_FOUND TRUE)
