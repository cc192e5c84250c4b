# The same sources give the same bytes wherever and whenever they are built:
# no source or build folder in the objects, no link time in a Windows
# binary. Added as options, not by setting CMAKE_EXE_LINKER_FLAGS, which
# would drop the toolchain's -static flags.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
if(MINGW)
    add_link_options(-Wl,--no-insert-timestamp)
endif()
