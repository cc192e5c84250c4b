# 32-bit Windows: the shipped program.
set(FILLWRIGHT_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Every Windows still in use has SSE2; it also makes 64-bit atomics plain loads and stores.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# ctest runs the Windows test programs under the project's own Wine prefix,
# through a wrapper that tells how a program that failed ended.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_test.sh;win32)
