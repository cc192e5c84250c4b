# The one place the build chooses a system: each seam (engine/, system/, cli/,
# drivetest/) has one file per system, NAME_posix.cpp or NAME_win32.cpp, and
# takes the one named by FILLWRIGHT_SYSTEM.
if(WIN32)
    set(FILLWRIGHT_SYSTEM win32)
else()
    set(FILLWRIGHT_SYSTEM posix)
endif()

# A static library of the folder it is declared in, with its seam's file for
# this system (SEAM_posix.cpp or SEAM_win32.cpp) among SOURCES; its headers
# are the folder's.
function(fillwright_seam_library target seam)
    add_library(${target} STATIC ${ARGN} ${seam}_${FILLWRIGHT_SYSTEM}.cpp)
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    fillwright_warnings(${target})
endfunction()
