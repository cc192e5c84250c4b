# 64-bit Windows build of the same sources, run under Wine on hosts that
# cannot execute 32-bit x86 code at all.
set(FILLWRIGHT_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_test.sh;win64)
