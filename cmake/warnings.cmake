# Warnings for Fillwright's own targets (not for GoogleTest or Benchmark).
function(fillwright_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion)
    if(FILLWRIGHT_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Windows executables must stand alone: check their imports after each link.
function(fillwright_check_imports target)
    if(WIN32 AND FILLWRIGHT_OBJDUMP)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${FILLWRIGHT_OBJDUMP} -DBINARY=$<TARGET_FILE:${target}>
                    -P ${PROJECT_SOURCE_DIR}/cmake/check_imports.cmake
            VERBATIM)
    endif()
endfunction()
