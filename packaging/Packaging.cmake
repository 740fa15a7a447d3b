# Desktop integration, documentation and the Debian package (cpack -G DEB).
# Included from the top-level CMakeLists.txt.

set(ALARMCFG_DEB_MAINTAINER
    "alarmcfg maintainers <maintainers@users.noreply.c-seed-828121ce.example>"
    CACHE STRING "Maintainer field of the Debian package")
# Software centres fetch the screenshot from here; the package does not hold it.
set(ALARMCFG_SCREENSHOT_URL
    "https://c-seed-828121ce.example/alarmcfg/docs/window.png"
    CACHE STRING "Address of docs/window.png for the AppStream metadata")
# A component id never changes once published: it names the application in
# every software centre.
set(ALARMCFG_APPSTREAM_ID example.c_seed_828121ce.alarmcfg)

set(ALARMCFG_DOC_DIR share/doc/alarmcfg)
set(ALARMCFG_GEN_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${ALARMCFG_GEN_DIR}/man)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
find_program(HELP2MAN_EXECUTABLE help2man REQUIRED)

# The release being packaged is the top entry of packaging/changelog: its
# version and date also go into the AppStream release and the manual pages.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog _top LIMIT_COUNT 1)
if(NOT _top MATCHES "^alarmcfg \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line is not 'alarmcfg (VERSION) ...'")
endif()
set(ALARMCFG_CHANGELOG_VERSION ${CMAKE_MATCH_1})
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog _trailers REGEX "^ -- ")
list(GET _trailers 0 _trailer)
if(NOT _trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: the top entry's date is not like 'Mon, 07 Dec 2026 12:00:00 +0000'")
endif()
set(_day ${CMAKE_MATCH_1})
set(_year ${CMAKE_MATCH_3})
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(_month_names January February March April May June July August September October November December)
list(FIND _months ${CMAKE_MATCH_2} _month)
if(_month LESS 0)
  message(FATAL_ERROR "packaging/changelog: '${CMAKE_MATCH_2}' is not a month")
endif()
list(GET _month_names ${_month} _month_name)
math(EXPR _month "${_month} + 1")
if(_month LESS 10)
  set(_month 0${_month})
endif()
set(ALARMCFG_RELEASE_DATE ${_year}-${_month}-${_day})
set(ALARMCFG_RELEASE_MONTH "${_month_name} ${_year}")
# help2man dates its pages from this: noon UTC on the release's day.
execute_process(COMMAND date -u -d "${ALARMCFG_RELEASE_DATE} 12:00" +%s
                OUTPUT_VARIABLE ALARMCFG_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
# A new version needs its own entry; the package test checks this as well.
if(NOT ALARMCFG_CHANGELOG_VERSION STREQUAL PROJECT_VERSION)
  message(WARNING "packaging/changelog's top entry is ${ALARMCFG_CHANGELOG_VERSION}, "
                  "the project is ${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}")
endif()

# gzip -n keeps the name and time stamp out of the file, so an unchanged
# page or changelog packs into the same bytes.
function(alarmcfg_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}")
endfunction()

# Manual pages, section 1: one for every program installed in /usr/bin.
#   alarmcfg_manual_page(PROGRAM HELP2MAN "summary")
#       made by help2man from `PROGRAM --help` (PROGRAM is a target);
#       packaging/man/PROGRAM.h2m, if there is one, adds or replaces sections.
#   alarmcfg_manual_page(PROGRAM HAND_WRITTEN)
#       packaging/man/PROGRAM.1.in, with the version and date filled in.
# Each program is also listed in the AppStream metadata's <provides>, and
# becomes part of packaged-files, the target that builds what the package
# holds (scripts/package builds only that).
add_custom_target(manual-pages ALL)
add_custom_target(packaged-files)
add_dependencies(packaged-files manual-pages)
set(ALARMCFG_PROGRAMS)
function(alarmcfg_manual_page program kind)
  set(page ${ALARMCFG_GEN_DIR}/man/${program}.1)
  set(h2m ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/man/${program}.h2m)
  if(kind STREQUAL HELP2MAN)
    if(NOT ARGC EQUAL 3)
      message(FATAL_ERROR "alarmcfg_manual_page(${program} HELP2MAN \"summary\")")
    endif()
    set(include_args)
    set(depends ${program})
    if(EXISTS ${h2m})
      set(include_args --include=${h2m})
      list(APPEND depends ${h2m})
    endif()
    # No --version in our programs: help2man takes the project's version.
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 SOURCE_DATE_EPOCH=${ALARMCFG_RELEASE_EPOCH}
              ${HELP2MAN_EXECUTABLE} --no-info --section=1 --version-string=${PROJECT_VERSION}
              --name=${ARGV2} ${include_args} --output=${page} $<TARGET_FILE:${program}>
      DEPENDS ${depends}
      COMMENT "Manual page of ${program} from its --help"
      VERBATIM)
  elseif(kind STREQUAL HAND_WRITTEN)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/man/${program}.1.in ${page} @ONLY)
  else()
    message(FATAL_ERROR "alarmcfg_manual_page: ${kind} is neither HELP2MAN nor HAND_WRITTEN")
  endif()
  alarmcfg_gzip(${page} ${page}.gz)
  add_custom_target(manual-page-${program} DEPENDS ${page}.gz)
  add_dependencies(manual-pages manual-page-${program})
  add_dependencies(packaged-files ${program})
  install(FILES ${page}.gz DESTINATION share/man/man1)
  set(ALARMCFG_PROGRAMS ${ALARMCFG_PROGRAMS} ${program} PARENT_SCOPE)
endfunction()

alarmcfg_manual_page(alarmcfg HAND_WRITTEN)
alarmcfg_manual_page(alarmcfg-sim HELP2MAN
  "simulated GSM alarm controller, a Modbus RTU slave on a pseudo-terminal")
alarmcfg_manual_page(alarmcfg-cli HELP2MAN
  "back up, provision, verify and watch GSM alarm controllers from a terminal")

# The menu entry, its icon, and what software centres show.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/alarmcfg.desktop
        DESTINATION share/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/alarmcfg.svg
        DESTINATION share/icons/hicolor/scalable/apps)
set(ALARMCFG_METAINFO_BINARIES)
foreach(program IN LISTS ALARMCFG_PROGRAMS)
  string(APPEND ALARMCFG_METAINFO_BINARIES "    <binary>${program}</binary>\n")
endforeach()
string(STRIP "${ALARMCFG_METAINFO_BINARIES}" ALARMCFG_METAINFO_BINARIES)
set(ALARMCFG_METAINFO_BINARIES "    ${ALARMCFG_METAINFO_BINARIES}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/alarmcfg.metainfo.xml.in
               ${ALARMCFG_GEN_DIR}/${ALARMCFG_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${ALARMCFG_GEN_DIR}/${ALARMCFG_APPSTREAM_ID}.metainfo.xml
        DESTINATION share/metainfo)

# The licence and the history, where Debian keeps them. The version has no
# Debian revision, so the package is native: one changelog.gz, no
# changelog.Debian.gz.
alarmcfg_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog ${ALARMCFG_GEN_DIR}/changelog.gz)
add_custom_target(changelog ALL DEPENDS ${ALARMCFG_GEN_DIR}/changelog.gz)
add_dependencies(packaged-files changelog)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${ALARMCFG_GEN_DIR}/changelog.gz
        DESTINATION ${ALARMCFG_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME alarmcfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "alarmcfg")
set(CPACK_PACKAGE_CONTACT "${ALARMCFG_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "configuration tool for a GSM SMS alarm controller")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packaged binaries ship without symbol tables, as Debian expects.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ALARMCFG_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A desktop program (Chinese interface) that sets up a GSM SMS alarm
controller over a serial line, as Modbus RTU master: relay outputs,
alarm phone numbers, channel alarm texts and factory defaults.
.
The package also holds alarmcfg-cli, which backs up, provisions,
verifies and watches controllers from a terminal, several at once, and
alarmcfg-sim, a simulator of the controller on a pseudo-terminal, for
trying the programs without hardware.")
# The Qt and libmodbus libraries come from dpkg-shlibdeps, with the
# versions the binaries were linked against.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# No library names the CJK font: without it the Chinese captions are boxes.
# Nor Qt's own Chinese catalogue, which the window loads for its dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n")

include(CPack)
