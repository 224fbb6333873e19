# What `cmake --install` puts in place and what `cpack` packs: a .deb on
# Linux, a zip on Windows. The version comes from project() alone.
include(GNUInstallDirs)
set(REIHEN_MAINTAINER "reihen developers <reihen@example.org>")
set(CPACK_PACKAGE_VENDOR "the reihen developers")
set(CPACK_PACKAGE_CONTACT "${REIHEN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sums of the series 1/n^s, with a German dialogue")
set(CPACK_STRIP_FILES ON)
# The package and cpack's scratch folder land in the build folder, wherever
# cpack is run from.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

if(WIN32)
  # The version resource, and no debug sections in the program handed out.
  enable_language(RC)
  configure_file(src/windows/reihen.rc.in reihen.rc @ONLY)
  target_sources(reihen PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/reihen.rc)
  target_link_options(reihen PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  # The licence and a short German text beside the program, with Windows
  # line ends.
  configure_file(packaging/LIESMICH.txt.in LIESMICH.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS reihen RUNTIME DESTINATION .)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LIESMICH.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # Debian's rules: the man page and the changelog compressed (with no time
  # stamp, so that two builds give the same bytes), and the licence in the
  # machine-readable copyright file.
  configure_file(doc/reihen.1.in reihen.1 @ONLY)
  configure_file(packaging/changelog.in changelog @ONLY)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  foreach(document reihen.1 changelog)
    add_custom_command(OUTPUT ${document}.gz
                       COMMAND ${GZIP_PROGRAM} -9nc ${document} > ${document}.gz
                       DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${document})
  endforeach()
  add_custom_target(compressed_documents ALL DEPENDS reihen.1.gz changelog.gz)
  install(TARGETS reihen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/reihen.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${REIHEN_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION math)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
      "reihen asks for a real exponent s, a limit exponent G and whether to show\n"
      "every partial sum, then adds 1/1^s + 1/2^s + 1/3^s + ... in order for as\n"
      "long as the next term exceeds 10^G, and writes the sum with 12 decimals.\n"
      "For s > 1 the sum approximates the Riemann zeta function. Long runs end\n"
      "within seconds with exactly the sum of adding term after term. The\n"
      "dialogue is German.")
endif()
include(CPack)
