# Cross-compiles the 64-bit Windows build from the same sources (build/win64):
# its tests run under wine64 on every machine, also where the kernel runs no
# 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
