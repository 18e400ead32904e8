# Installing and packing the Linux program `tavro`:
#   cmake --install <dir> [--prefix P]  bin/tavro, share/man/man1/tavro.1.gz,
#       share/bash-completion/completions/tavro, share/doc/tavro/{copyright,changelog.gz}
#   cpack -G DEB (in <dir>)  tavro_<version>_<arch>.deb of the same files under /usr,
#       its dependencies found by dpkg-shlibdeps
# Nothing is registered system-wide: the desktop file type stays each user's own.
# The sources are dist/linux/; tests/package checks them against the program and
# the package with lintian.
include(GNUInstallDirs)
find_program(TAVRO_GZIP gzip)
if(NOT TAVRO_GZIP)
  message(FATAL_ERROR "gzip is needed for the manual page")
endif()

set(tavro_linux_dist ${CMAKE_SOURCE_DIR}/dist/linux)
set(tavro_linux_out ${CMAKE_BINARY_DIR}/linux)
# Compressed as Debian wants them (-n: no name or time stamp in the header).
set(tavro_gzipped)
foreach(name tavro.1 changelog)
  add_custom_command(OUTPUT ${tavro_linux_out}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tavro_linux_out}
    COMMAND ${CMAKE_COMMAND} -E copy ${tavro_linux_dist}/${name} ${tavro_linux_out}/${name}
    COMMAND ${TAVRO_GZIP} -9nf ${tavro_linux_out}/${name}
    DEPENDS ${tavro_linux_dist}/${name}
    VERBATIM)
  list(APPEND tavro_gzipped ${tavro_linux_out}/${name}.gz)
endforeach()
add_custom_target(tavro_docs ALL DEPENDS ${tavro_gzipped})

install(TARGETS tavro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${tavro_linux_out}/tavro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${tavro_linux_dist}/tavro.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavro)
install(FILES ${tavro_linux_dist}/copyright ${tavro_linux_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavro)

set(TAVRO_PACKAGE_MAINTAINER "Tavro maintainers <tavro@veltrane.example>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavro)
set(CPACK_PACKAGE_VENDOR Veltrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encipher and decipher files under a password")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
Tavro turns each file of the given files and folders into an enciphered
file (CAST-128) with a random name, then overwrites and removes the plain
file; deciphering gives it back under its own name. This is the
command-line program; its files open in the Windows program Tavro.exe
and the other way round.")
set(CPACK_PACKAGE_CONTACT "${TAVRO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVRO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
