# The Debian package of the command line: what `cmake --install` puts in
# bin/ and share/man/man1/, under /usr. Made by scripts/release.sh with
# SOURCE_DATE_EPOCH set, which CPack uses for every time in the package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fillwright-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Fillwright authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make files of a chosen size")
set(CPACK_PACKAGE_DESCRIPTION
    "Makes each named file exactly the size asked for: zeros, random bytes, text.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # fillwright-cli_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from the libraries the program links
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
