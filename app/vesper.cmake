# The support folder's start-up units (diagnostics, the Tech Support Helper,
# the single-copy lock) and their tests.
include(${PROJECT_SOURCE_DIR}/app/support/startup_units.cmake)
