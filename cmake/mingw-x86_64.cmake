# Cross-compiles for 64-bit Windows: the tests and the run copy where the
# build machine cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
