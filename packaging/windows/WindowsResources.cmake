# The Windows programs' resources: the icon, made from packaging/alarmcfg.svg
# at build time, and a version resource carrying the project's version.

find_program(ALARMCFG_RSVG rsvg-convert REQUIRED)
find_program(ALARMCFG_CONVERT convert REQUIRED)

set(ALARMCFG_ICO ${CMAKE_BINARY_DIR}/windows/alarmcfg.ico)
set(_svg ${PROJECT_SOURCE_DIR}/packaging/alarmcfg.svg)
set(_pngs)
set(_render)
foreach(size 16 24 32 48 64 256)
  set(png ${CMAKE_BINARY_DIR}/windows/icon-${size}.png)
  list(APPEND _pngs ${png})
  list(APPEND _render COMMAND ${ALARMCFG_RSVG} -w ${size} -h ${size} ${_svg} -o ${png})
endforeach()
add_custom_command(OUTPUT ${ALARMCFG_ICO}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
  ${_render}
  COMMAND ${ALARMCFG_CONVERT} ${_pngs} ${ALARMCFG_ICO}
  DEPENDS ${_svg}
  COMMENT "Making the Windows icon from alarmcfg.svg"
  VERBATIM)
add_custom_target(alarmcfg_icon DEPENDS ${ALARMCFG_ICO})

# Gives target its icon and a version resource that names it.
function(alarmcfg_windows_resources target description)
  set(RC_NAME ${target})
  set(RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ALARMCFG_ICO})
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} alarmcfg_icon)
endfunction()
