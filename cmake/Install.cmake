# Install rules and the Debian package, included from the top-level CMakeLists.txt.
#
#   cmake --install <build> --prefix /usr/local     a plain install
#   cd <build> && cpack -G DEB                      tamrix_<version>_<arch>.deb (scripts/make-deb)
#
# Which programs exist (the dialog program only where Qt 6 was found, the simulator only on Unix)
# is known only once the whole top-level file has been read, so the rules are made then.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/ManPages.cmake)

set(TAMRIX_PACKAGE_MAINTAINER "Tamrix developers <maintainers@tamrix.example.org>"
    CACHE STRING "Maintainer named in the Debian package (\"Name <address>\")")

function(tamrix_install_rules)
  install(TARGETS tamrix-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET tamrix-sim)
    install(TARGETS tamrix-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()

  # The desktop entry and the icons belong to the dialog program: without it a menu entry would
  # launch nothing, so they are installed only when it is built.
  if(TARGET tamrix)
    install(TARGETS tamrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/tamrix.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 24 32 48 64 128 256)
      install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tamrix-${size}.png
              DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
              RENAME tamrix.png)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/tamrix.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()

  tamrix_man_pages()

  # Completion of tamrix-cli's commands, options, firmware files and ports in bash.
  if(UNIX)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/completion/tamrix-cli
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  endif()

  # The licence and the package's changelog (Debian format), where a distribution looks for
  # them. The package's version has no Debian revision, which makes it a native package, and
  # Debian names a native package's changelog changelog.gz (changelog.Debian.gz is for packages
  # of someone else's upstream source; lintian warns about the other name).
  install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamrix)
  find_program(TAMRIX_GZIP gzip)
  if(UNIX AND TAMRIX_GZIP)
    set(changelog ${PROJECT_BINARY_DIR}/changelog.gz)
    add_custom_command(
      OUTPUT ${changelog}
      COMMAND sh -c "${TAMRIX_GZIP} -9n -c changelog > '${changelog}'"
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/resources/debian
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog
      COMMENT "Compressing the package's changelog"
      VERBATIM)
    add_custom_target(tamrix_changelog ALL DEPENDS ${changelog})
    install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tamrix)
  endif()

  # --- Debian package ---
  set(CPACK_PACKAGE_NAME tamrix)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "${TAMRIX_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAMRIX_PACKAGE_MAINTAINER}")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware update utility for ZKT Orvane products")
  # Wrapped by hand to under 80 columns, as dpkg shows the lines as they are; " * " lines are
  # shown verbatim.
  set(description
      "Tamrix updates the firmware of a ZKT Orvane product through the product's"
      "resident serial bootloader: dsPIC30F, dsPIC33F, PIC24H, PIC24F and Samsung"
      "S3F8 targets, over a two-wire link or a one-wire link that echoes every byte."
      "")
  if(TARGET tamrix)
    list(APPEND description " * tamrix: the dialog program")
  endif()
  list(APPEND description
       " * tamrix-cli: the download from a terminal, for scripts and production lines")
  # The description ends on a plain line: CPack trims the end, which would cost a verbatim
  # line its indent.
  if(TARGET tamrix-sim)
    list(APPEND description " * tamrix-sim: a simulated product on a pseudo-terminal" ""
         "`tamrix-cli demo` runs a whole download against a built-in simulated product:"
         "no hardware, no set-up.")
  else()
    list(APPEND description "" "`tamrix-cli --help` lists the commands.")
  endif()
  list(JOIN description "\n" CPACK_PACKAGE_DESCRIPTION)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends is computed by dpkg-shlibdeps from what the installed programs really link (Qt 6,
  # libudev, the C++ runtime...), so it cannot drift from the build.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  include(CPack)
endfunction()

cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tamrix_install_rules)
