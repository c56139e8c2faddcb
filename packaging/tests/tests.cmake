# The package test: builds the package once, checks what it holds and what it
# needs, installs it into a throwaway root and runs the programs from there.
add_executable(first-start-probe ${CMAKE_CURRENT_LIST_DIR}/first_start.cpp)
target_link_libraries(first-start-probe PRIVATE vesper_platform)
# It only ever runs from an installed tree, beside the installed programs.
set_target_properties(first-start-probe PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                                                   INSTALL_RPATH "$ORIGIN/../${VESPER_LIB_DIR}")

add_test(NAME package_deb
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_package.sh ${CMAKE_BINARY_DIR}
                 $<TARGET_FILE:first-start-probe> $<TARGET_FILE:kickstall>)
set_tests_properties(package_deb PROPERTIES TIMEOUT 600 LABELS package)
