# Builds the product package and puts it as "VesperHome.deb" beside the
# bootstrap in MEDIUM_DIR.
file(REMOVE_RECURSE ${MEDIUM_DIR})
file(MAKE_DIRECTORY ${MEDIUM_DIR}/cpack)
execute_process(COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${MEDIUM_DIR}/cpack
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed")
endif()
file(GLOB packages ${MEDIUM_DIR}/cpack/vesper-home_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one vesper-home package, found: ${packages}")
endif()
file(COPY_FILE ${packages} ${MEDIUM_DIR}/VesperHome.deb)
file(COPY ${KICKSTALL} DESTINATION ${MEDIUM_DIR})
file(REMOVE_RECURSE ${MEDIUM_DIR}/cpack)
message(STATUS "Setup medium: ${MEDIUM_DIR}")
