# The start-up units of the support folder (diagnostics, the Tech Support
# Helper, the single-copy lock) belong to the main program's library, and
# their tests to one test program.
target_sources(vesper_app PRIVATE
  ${PROJECT_SOURCE_DIR}/app/support/diagnostics.cpp
  ${PROJECT_SOURCE_DIR}/app/support/frm_tech_support.cpp
  ${PROJECT_SOURCE_DIR}/app/support/single_instance.cpp
)
file(GLOB _startup_unit_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/app/support/tests/test_startup_units*.cpp)
if(_startup_unit_tests)
  vesper_test(app_startup_units_tests ${_startup_unit_tests})
  target_link_libraries(app_startup_units_tests PRIVATE vesper_app Qt6::Test)
endif()
