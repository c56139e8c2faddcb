# Where everything goes when installed (the package installs under /usr):
#   bin/                          the programs
#   lib/vesper/private/           the shared libraries of the programs (one
#                                 level deeper than lib/vesper: they are found
#                                 through the programs' run path, and CPack would
#                                 otherwise add ldconfig maintainer scripts)
#   lib/vesper/components/        the component libraries, registered by each
#                                 program on its first start for each user
#   share/applications, share/icons, share/vesper, share/doc/vesper-home
# Programs find their libraries and components relative to themselves, so an
# installed tree may live under any prefix.

set(VESPER_LIB_DIR lib/vesper/private)
set(VESPER_COMPONENTS_DIR lib/vesper/components)

# A build tree tells its programs that they run from it: they use their own
# folder as program folder there (and only there).
file(WRITE ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/.vesper-build-tree "${CMAKE_SOURCE_DIR}\n")

set(_vesper_programs regsvr vesper-reg vesper-script vesper-schedule vesper-repair vesper guidelink)
set(_vesper_libraries vesper_platform vesper_capture vesper_wmenc)

foreach(target IN LISTS _vesper_programs)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${VESPER_LIB_DIR}")
    install(TARGETS ${target} RUNTIME DESTINATION bin)
  endif()
endforeach()

foreach(target IN LISTS _vesper_libraries)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} LIBRARY DESTINATION ${VESPER_LIB_DIR})
  endif()
endforeach()

# Every library that declared itself a component (vesper_component()).
get_property(_vesper_component_files GLOBAL PROPERTY VESPER_COMPONENTS)
foreach(entry IN LISTS _vesper_component_files)
  if(entry MATCHES "^\\$<TARGET_FILE:(.+)>$")
    set(target ${CMAKE_MATCH_1})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../private")
    install(TARGETS ${target} LIBRARY DESTINATION ${VESPER_COMPONENTS_DIR})
  endif()
endforeach()

# Menu entries, the icon, the listings enabler's menu script, the README.
foreach(dir desktop guidelink)
  file(GLOB _desktop_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.desktop)
  file(GLOB _svg_icons CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.svg)
  file(GLOB _png_icons CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.png)
  file(GLOB _scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.htm)
  if(_desktop_files)
    install(FILES ${_desktop_files} DESTINATION share/applications)
  endif()
  if(_svg_icons)
    install(FILES ${_svg_icons} DESTINATION share/icons/hicolor/scalable/apps)
  endif()
  if(_png_icons)
    install(FILES ${_png_icons} DESTINATION share/pixmaps)
  endif()
  if(_scripts)
    install(FILES ${_scripts} DESTINATION share/vesper)
  endif()
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/vesper-home)
