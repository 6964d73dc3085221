# Man pages of the three programs, called from tamrix_install_rules (cmake/Install.cmake) once the
# programs' targets exist. tamrix-cli's and tamrix-sim's pages are made by help2man from their
# --help and --version, again whenever the program is rebuilt; the dialog program takes no options,
# so its page is written by hand (resources/man/tamrix.1). All are compressed (gzip -9n) and
# installed into share/man/man1. Skipped when cross-compiling (the programs cannot run here) or
# when help2man is missing (Debian package help2man; scripts/make-deb needs it).
function(tamrix_man_pages)
  if(CMAKE_CROSSCOMPILING OR NOT UNIX)
    return()
  endif()
  find_program(TAMRIX_HELP2MAN help2man)
  find_program(TAMRIX_GZIP gzip)
  if(NOT TAMRIX_HELP2MAN OR NOT TAMRIX_GZIP)
    message(STATUS "help2man or gzip not found: the man pages are not built "
                   "(scripts/install-deps installs help2man)")
    return()
  endif()

  set(dir ${PROJECT_BINARY_DIR}/man)
  file(MAKE_DIRECTORY ${dir})
  set(pages)
  set(see_also tamrix-cli tamrix-sim)
  if(TARGET tamrix)
    list(APPEND see_also tamrix)
  endif()

  # name: program; description: the NAME line; extra: -D arguments for RunHelp2man.cmake.
  macro(generated_page program description)
    if(TARGET ${program})
      set(others ${see_also})
      list(REMOVE_ITEM others ${program})
      list(JOIN others " " others)
      add_custom_command(
        OUTPUT ${dir}/${program}.1.gz
        COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${TAMRIX_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
                "-DNAME=${description}" -DOUTPUT=${dir}/${program}.1.gz "-DSEE_ALSO=${others}"
                ${ARGN} -P ${PROJECT_SOURCE_DIR}/cmake/RunHelp2man.cmake
        DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/RunHelp2man.cmake
        COMMENT "Making the man page of ${program} (help2man)"
        VERBATIM)
      list(APPEND pages ${dir}/${program}.1.gz)
    endif()
  endmacro()
  generated_page(tamrix-cli "firmware update utility for ZKT Orvane products (command line)"
                 -DCOMMANDS=ON)
  generated_page(tamrix-sim "simulated ZKT Orvane product on a pseudo-terminal")

  if(TARGET tamrix)
    configure_file(${PROJECT_SOURCE_DIR}/resources/man/tamrix.1 ${dir}/tamrix.1 @ONLY)
    add_custom_command(
      OUTPUT ${dir}/tamrix.1.gz
      COMMAND sh -c "${TAMRIX_GZIP} -9n -c tamrix.1 > tamrix.1.gz"
      WORKING_DIRECTORY ${dir}
      DEPENDS ${dir}/tamrix.1
      COMMENT "Compressing the man page of tamrix"
      VERBATIM)
    list(APPEND pages ${dir}/tamrix.1.gz)
  endif()

  add_custom_target(tamrix_man_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
