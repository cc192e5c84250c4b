# The Debian package of the command line: what `cmake --install` puts under
# /usr (the program, its man page, its bash completion) and the documents
# Debian asks for in /usr/share/doc/fillwright-cli. Made by scripts/release.sh
# with SOURCE_DATE_EPOCH set, which CPack uses for every time in the package,
# and with Debian's hardening flags.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(doc_dir share/doc/fillwright-cli)
set(maintainer "${FILLWRIGHT_AUTHORS} <${FILLWRIGHT_ADDRESS}>")

# copyright, in Debian's machine-readable form, around the text of LICENSE.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE license_lines)
set(license_text "")
set(after_notice FALSE)
foreach(line IN LISTS license_lines)
    if(after_notice)
        if(line STREQUAL "")
            string(APPEND license_text " .\n")
        else()
            string(APPEND license_text " ${line}\n")
        endif()
    elseif(line MATCHES "^Copyright ")
        set(after_notice TRUE)
    endif()
endforeach()
string(REGEX REPLACE "^ \\.\n" "" license_text "${license_text}")
set(copyright_file ${CMAKE_BINARY_DIR}/package-doc/copyright)
file(WRITE ${copyright_file}
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: Fillwright\n"
    "Upstream-Contact: ${maintainer}\n"
    "Source: ${FILLWRIGHT_HOMEPAGE}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${FILLWRIGHT_COPYRIGHT_YEAR} ${FILLWRIGHT_AUTHORS}\n"
    "License: Expat\n"
    "${license_text}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

# changelog.gz, made from NEWS: a Debian-native package's changelog.
set(changelog ${CMAKE_BINARY_DIR}/package-doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/news_to_changelog.py
            ${PROJECT_SOURCE_DIR}/NEWS fillwright-cli ${PROJECT_VERSION} ${maintainer} ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_SOURCE_DIR}/scripts/news_to_changelog.py
    VERBATIM)
add_custom_target(fillwright-cli-changelog ALL DEPENDS ${changelog})
install(FILES ${copyright_file} ${changelog} DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fillwright-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${maintainer}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${maintainer}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${FILLWRIGHT_HOMEPAGE}")
# The summary, and the long description below it: CPack indents its lines
# and writes " ." for the empty ones.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make files of a chosen size")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "fillwright-cli makes each named file exactly the size asked for (in bytes,
or with a unit such as KiB, MB or GiB), holding one of five kinds of
content:

 * zero: zero bytes;
 * random: the pseudo-random stream of the Fillwright dialog for Windows,
   from a seed;
 * ascii: a line of ASCII text, repeated;
 * size: nothing written, only the length (optionally with its disk blocks
   reserved);
 * noise: the values of std::mt19937_64 from a seed, which never repeat,
   for compression and deduplication tests.

With --check it reads files back and tells whether each holds exactly
what the same command line makes, naming the first byte that differs; the
seed of a random file is found from the file itself.

With --fill it tests a whole drive (a USB stick, an SD card): it fills a
folder's free space with self-describing data, reads it back past the
caches and reports the real capacity, what was lost and where, and the
speed; counterfeit drives are told early. --verify reads such a set
again. Results can also be printed as JSON Lines.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # fillwright-cli_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends: from the libraries the program links
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
