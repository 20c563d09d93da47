# Cross builds: nlohmann-json is header-only, so the build host's copy serves.
include(${CMAKE_CURRENT_LIST_DIR}/HostHeaderLibrary.cmake)
quenbar_host_header_library(nlohmann_json::nlohmann_json nlohmann)
set(nlohmann_json_FOUND TRUE)
