# install_program(<target> COMPONENT <package component> SUMMARY <one line>
#                 [BESIDE <files...>] [INCLUDE <help2man include> | PAGE <man page source>])
# Installs one program, under its output name, and its man page (section 1) into the given
# package component. A program that finds files in its own folder (BESIDE) is installed with
# them into lib/<name>/, and bin/ gets a relative link to it: the program resolves the link to
# its real folder. The man page is written by hand (PAGE, configured with the project's
# variables, the summary as @RIVIVOZUZUVOD_PAGE_SUMMARY@) or made by help2man from the
# program's --help and --version at build time, when RIVIVOZUZUVOD_PACKAGING is on.
include(GNUInstallDirs)

function(install_program target)
  cmake_parse_arguments(ARG "" "COMPONENT;SUMMARY;INCLUDE;PAGE" "BESIDE" ${ARGN})
  if(NOT ARG_SUMMARY OR NOT ARG_COMPONENT)
    message(FATAL_ERROR "install_program(${target}): COMPONENT and SUMMARY are required")
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()

  if(ARG_BESIDE)
    set(folder "lib/${name}")
    install(TARGETS ${target} RUNTIME DESTINATION ${folder} COMPONENT ${ARG_COMPONENT})
    install(FILES ${ARG_BESIDE} DESTINATION ${folder} COMPONENT ${ARG_COMPONENT})
    file(RELATIVE_PATH relative "/usr/${CMAKE_INSTALL_BINDIR}" "/usr/${folder}/${name}")
    set(link_dir "${CMAKE_CURRENT_BINARY_DIR}/bin-links")
    file(MAKE_DIRECTORY "${link_dir}")
    file(CREATE_LINK "${relative}" "${link_dir}/${name}" SYMBOLIC)
    install(FILES "${link_dir}/${name}" DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${ARG_COMPONENT})
  else()
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${ARG_COMPONENT})
  endif()

  if(NOT RIVIVOZUZUVOD_PACKAGING)
    return()
  endif()
  set(page "${CMAKE_BINARY_DIR}/man/${name}.1")
  if(ARG_PAGE)
    set(RIVIVOZUZUVOD_PAGE_SUMMARY "${ARG_SUMMARY}")
    configure_file("${ARG_PAGE}" "${page}" @ONLY)
    add_custom_command(OUTPUT "${page}.gz"
      COMMAND gzip -9nkf "${page}"
      DEPENDS "${page}"
      COMMENT "Man page of ${name}"
      VERBATIM)
  else()
    find_program(HELP2MAN_EXE help2man REQUIRED)
    set(include_args)
    set(include_depends)
    if(ARG_INCLUDE)
      set(include_args "--include=${ARG_INCLUDE}")
      set(include_depends "${ARG_INCLUDE}")
    endif()
    # The program is called by its bare name through PATH, so that its usage line shows the
    # name and not the build folder. The window program answers --help without a display. The
    # page is dated by the release, not by the day of the build.
    add_custom_command(OUTPUT "${page}.gz"
      COMMAND ${CMAKE_COMMAND} -E env
              --modify "PATH=path_list_prepend:$<TARGET_FILE_DIR:${target}>"
              QT_QPA_PLATFORM=offscreen "SOURCE_DATE_EPOCH=${RIVIVOZUZUVOD_RELEASE_EPOCH}"
              ${HELP2MAN_EXE} --no-info --section=1 "--name=${ARG_SUMMARY}" ${include_args}
              "--output=${page}" ${name}
      COMMAND gzip -9nf "${page}"
      DEPENDS ${target} ${include_depends}
      COMMENT "Man page of ${name}"
      VERBATIM)
  endif()
  add_custom_target(${target}-man ALL DEPENDS "${page}.gz")
  install(FILES "${page}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${ARG_COMPONENT})
endfunction()
