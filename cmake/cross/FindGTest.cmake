# Cross builds: GoogleTest built for the target from Debian's source package
# (googletest, in /usr/src/googletest); it names its targets GTest::gtest and
# GTest::gtest_main.
if(NOT TARGET GTest::gtest_main)
  set(INSTALL_GTEST OFF)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
set(GTest_FOUND TRUE)
