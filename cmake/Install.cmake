# Installation as a Linux desktop program, and the Debian package.
#
# `cmake --install` puts under the prefix:
#   bin/qvodgrab, bin/qvodgrab-cli
#   share/applications/org.qvodgrab.QvodGrab.desktop        (with the window)
#   share/icons/hicolor/{scalable,NxN}/apps/org.qvodgrab.QvodGrab.{svg,png}
#   share/man/man1/qvodgrab-cli.1.gz, qvodgrab.1.gz          (qvodgrab.1 with the window)
#   share/doc/qvodgrab/copyright, changelog.gz
# `cpack -G DEB` in the build directory makes qvodgrab_<version>_<arch>.deb for /usr.

include(GNUInstallDirs)

set(QVOD_APP_ID org.qvodgrab.QvodGrab)
set(QVOD_ICON_SIZES 16 32 48 64 128 256)
set(QVOD_PACKAGE_MAINTAINER
  "qvodgrab maintainers <maintainers@users.noreply.c-seed-e5899012.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(QVOD_HOMEPAGE_URL "https://qvodgrab.org/" CACHE STRING "Homepage field of the Debian package")

# Directories made by the install get 0755 whatever the umask, as Debian requires.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(QVOD_RSVG_CONVERT rsvg-convert)
if(NOT QVOD_RSVG_CONVERT)
  message(FATAL_ERROR
    "rsvg-convert (Debian package librsvg2-bin) renders the icon; scripts/setup installs it")
endif()
find_program(QVOD_GZIP gzip REQUIRED)

# Hardening that Debian expects of the programs it ships: fortified libc calls
# (they need the optimiser, hence not in Debug) and a read-only GOT.
target_compile_definitions(qvod_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
foreach(program qvodgrab qvodgrab-cli)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
  endif()
endforeach()

set(QVOD_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(QVOD_STAGE_DIR ${PROJECT_BINARY_DIR}/install-data)

# Returns in out_var the path of a gzip copy of source under QVOD_STAGE_DIR,
# named name.gz. -n leaves the name and time out of the header, so the output
# depends on the content alone.
function(qvod_gzip_copy out_var source name)
  set(copy ${QVOD_STAGE_DIR}/${name})
  add_custom_command(
    OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${QVOD_GZIP} -9nf ${copy}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  set(${out_var} ${copy}.gz PARENT_SCOPE)
endfunction()

set(QVOD_STAGED_FILES)

install(TARGETS qvodgrab-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
qvod_gzip_copy(cli_man ${PROJECT_SOURCE_DIR}/docs/qvodgrab-cli.1 qvodgrab-cli.1)
list(APPEND QVOD_STAGED_FILES ${cli_man})
install(FILES ${cli_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET qvodgrab)
  install(TARGETS qvodgrab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  qvod_gzip_copy(window_man ${PROJECT_SOURCE_DIR}/docs/qvodgrab.1 qvodgrab.1)
  list(APPEND QVOD_STAGED_FILES ${window_man})
  install(FILES ${window_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  install(FILES ${QVOD_DATA_DIR}/${QVOD_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QVOD_DATA_DIR}/${QVOD_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN LISTS QVOD_ICON_SIZES)
    set(png ${QVOD_STAGE_DIR}/icons/${size}x${size}/${QVOD_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QVOD_STAGE_DIR}/icons/${size}x${size}
      COMMAND ${QVOD_RSVG_CONVERT} --width=${size} --height=${size}
              --output=${png} ${QVOD_DATA_DIR}/${QVOD_APP_ID}.svg
      DEPENDS ${QVOD_DATA_DIR}/${QVOD_APP_ID}.svg
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND QVOD_STAGED_FILES ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

install(FILES ${QVOD_DATA_DIR}/deb/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
qvod_gzip_copy(changelog ${QVOD_DATA_DIR}/deb/changelog changelog)
list(APPEND QVOD_STAGED_FILES ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

add_custom_target(qvod_install_data ALL DEPENDS ${QVOD_STAGED_FILES})

# The Debian package. It installs under /usr whatever CMAKE_INSTALL_PREFIX is.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvodgrab)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# CPack's strip keeps the .comment and .note sections, which carry nothing a
# user needs; they go as dh_strip removes them.
set(QVOD_STRIP_SCRIPT ${PROJECT_BINARY_DIR}/CPackStripSections.cmake)
file(CONFIGURE OUTPUT ${QVOD_STRIP_SCRIPT} @ONLY CONTENT [=[
file(GLOB programs
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}@CPACK_PACKAGING_INSTALL_PREFIX@/@CMAKE_INSTALL_BINDIR@/*")
if(NOT programs)
  message(FATAL_ERROR "no programs to strip in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(
    COMMAND "@CMAKE_STRIP@" --remove-section=.comment --remove-section=.note "${program}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
]=])
set(CPACK_PRE_BUILD_SCRIPTS ${QVOD_STRIP_SCRIPT})
set(CPACK_PACKAGE_CONTACT "${QVOD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QVOD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QVOD_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the qvod:// links of movie pages")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "qvodgrab fetches a movie page of a video-resource web site, finds the
qvod:// links that the page carries and lists them, one per line. The list
can be saved as a text file on the desktop, edited by batch rename, or turned
into one .qsed seed file per link.

The package holds the window program qvodgrab and its command-line twin
qvodgrab-cli, which runs the same extraction channels for scripts.")
include(CPack)
