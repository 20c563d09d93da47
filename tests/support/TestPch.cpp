// The target that builds the test programs' shared precompiled header
// (tests/CMakeLists.txt) needs one source of its own.
