# install_program(<target> SUMMARY <one line> [BESIDE <files...>] [INCLUDE <help2man include>])
# Installs one program and its man page (section 1). A program that finds files in its own
# folder (BESIDE) is installed with them into lib/<target>/, and bin/ gets a relative link to
# it: the program resolves the link to its real folder. The man page is made by help2man from
# the program's --help and --version at build time, when RIVIVOZUZUVOD_PACKAGING is on.
include(GNUInstallDirs)

function(install_program target)
  cmake_parse_arguments(ARG "" "SUMMARY;INCLUDE" "BESIDE" ${ARGN})
  if(NOT ARG_SUMMARY)
    message(FATAL_ERROR "install_program(${target}): SUMMARY is required for the man page")
  endif()

  if(ARG_BESIDE)
    set(folder "lib/${target}")
    install(TARGETS ${target} RUNTIME DESTINATION ${folder})
    install(FILES ${ARG_BESIDE} DESTINATION ${folder})
    file(RELATIVE_PATH relative "/usr/${CMAKE_INSTALL_BINDIR}" "/usr/${folder}/${target}")
    set(link_dir "${CMAKE_CURRENT_BINARY_DIR}/bin-links")
    file(MAKE_DIRECTORY "${link_dir}")
    file(CREATE_LINK "${relative}" "${link_dir}/${target}" SYMBOLIC)
    install(FILES "${link_dir}/${target}" DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()

  if(NOT RIVIVOZUZUVOD_PACKAGING)
    return()
  endif()
  find_program(HELP2MAN_EXE help2man REQUIRED)
  set(page "${CMAKE_BINARY_DIR}/man/${target}.1")
  set(include_args)
  set(include_depends)
  if(ARG_INCLUDE)
    set(include_args "--include=${ARG_INCLUDE}")
    set(include_depends "${ARG_INCLUDE}")
  endif()
  # The program is called by its bare name through PATH, so that its usage line shows the
  # name and not the build folder. The window program answers --help without a display.
  add_custom_command(OUTPUT "${page}.gz"
    COMMAND ${CMAKE_COMMAND} -E env
            --modify "PATH=path_list_prepend:$<TARGET_FILE_DIR:${target}>"
            QT_QPA_PLATFORM=offscreen
            ${HELP2MAN_EXE} --no-info --section=1 "--name=${ARG_SUMMARY}" ${include_args}
            "--output=${page}" ${target}
    COMMAND gzip -9nf "${page}"
    DEPENDS ${target} ${include_depends}
    COMMENT "Man page of ${target}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
