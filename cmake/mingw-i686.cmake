# Cross-compiles the 32-bit Windows build, the product (build/win32).
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
