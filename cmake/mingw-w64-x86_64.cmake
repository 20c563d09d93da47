# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers (the
# posix-threads variant, which std::thread needs). Use it as
#   cmake -S . -B build-mingw -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake
# The programs are linked statically, so they run without any MinGW DLL
# beside them (under Wine here, see cmake/QuenbarTest.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Libraries and headers come from the MinGW tree only; the build host's
# programs still run.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Unoptimised, the remote's template-heavy unity batches hold more sections
# than a plain COFF object allows ("file too big"): big objects lift that.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-mbig-obj")
