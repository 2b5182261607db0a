# The sanitizer build: every library compiled once more by clang with
# AddressSanitizer and UndefinedBehaviorSanitizer (and libFuzzer's coverage),
# as a project of its own in <build>/sanitized, configured and built with
# this one. The fuzzers and the soak test are its programs; their tests are
# registered here and run those programs. Nothing is built without clang.
find_program(KELVANE_CLANGXX NAMES clang++ clang++-14)
find_program(KELVANE_CLANG NAMES clang clang-14)
if(NOT KELVANE_CLANGXX OR NOT KELVANE_CLANG)
  message(STATUS "clang not found: the fuzzers and the soak test are not built")
  return()
endif()

include(ExternalProject)
set(KELVANE_SANITIZED_DIR ${PROJECT_BINARY_DIR}/sanitized)
ExternalProject_Add(kelvane_sanitized
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${KELVANE_SANITIZED_DIR}
  CMAKE_CACHE_ARGS
    -DCMAKE_CXX_COMPILER:FILEPATH=${KELVANE_CLANGXX}
    -DCMAKE_C_COMPILER:FILEPATH=${KELVANE_CLANG}
    -DCMAKE_CXX_COMPILER_LAUNCHER:STRING=${CMAKE_CXX_COMPILER_LAUNCHER}
    -DCMAKE_C_COMPILER_LAUNCHER:STRING=${CMAKE_C_COMPILER_LAUNCHER}
    -DCMAKE_BUILD_TYPE:STRING=Debug
    -DKELVANE_SANITIZE:BOOL=ON
    -DKELVANE_TEST_DIRS:STRING=fuzz;soak
  INSTALL_COMMAND ""
  # Its own build decides what is out of date.
  BUILD_ALWAYS ON)
