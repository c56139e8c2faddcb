# The support folder's start-up units are built with the main program's
# library (see app/support/startup_units.cmake).
include(${PROJECT_SOURCE_DIR}/app/support/startup_units.cmake)
if(TARGET app_guide_tests)
  target_link_libraries(app_guide_tests PRIVATE Qt6::Test)
endif()
