# Installation (programs, man pages, examples) and the Debian package built by CPack.
include(GNUInstallDirs)

# zendorcfg and zendor-vcard are installed by the install(TARGETS) rules beside them in
# src/app and src/vcard; the rest of what a user gets is installed here.

# Man pages go in compressed, as Debian keeps them; -n leaves the time stamp out of the archive
# so that a rebuilt package has the same bytes.
set(zendor_man_pages)
foreach(page zendorcfg.1 zendor-vcard.1)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${source} ${compressed}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND zendor_man_pages ${compressed})
endforeach()
add_custom_target(zendor_man_pages ALL DEPENDS ${zendor_man_pages})
install(FILES ${zendor_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: `cpack -G DEB` in the build folder gives zendorcfg_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zendorcfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "zendorcfg developers <zendorcfg@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Master Card tool for ZENDOR contactless card readers")
# The summary above is the synopsis line; CPack indents the lines of the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "zendorcfg writes the settings of a ZENDOR reader, read from an INI file, as a
signed image onto a MIFARE DESFire card (a Master Card), and reads such cards
back. It drives DESFire cards on PC/SC contactless readers, or a virtual card
kept in a JSON file. zendor-vcard writes virtual card files and serves them
to pcscd through the vpcd driver.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pcscd)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS vsmartcard-vpcd)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Our own libraries are static: the programs need only the distribution's C, C++, OpenSSL
# and pcsc-lite runtime. dpkg-shlibdeps (package dpkg-dev) finds them with their versions;
# without it the list is written out.
find_program(ZENDOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(ZENDOR_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libssl3, libpcsclite1")
endif()
include(CPack)
