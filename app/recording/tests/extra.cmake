# The recording tests drive the scheduler in process and, for the real
# recording, load the scheduler, capture and encoder components by ProgID.
if(TARGET app_recording_tests)
  target_link_libraries(app_recording_tests PRIVATE slotbook_core)
  add_dependencies(app_recording_tests Slotbook Capgraph wmenceng encwrap)
  target_compile_definitions(app_recording_tests PRIVATE
    SLOTBOOK_PATH="$<TARGET_FILE:Slotbook>"
    CAPGRAPH_PATH="$<TARGET_FILE:Capgraph>"
    ENGINE_PATH="$<TARGET_FILE:wmenceng>"
    ENCWRAP_PATH="$<TARGET_FILE:encwrap>")
endif()
# The start-up tests run the real program.
if(TARGET app_recording_tests)
  add_dependencies(app_recording_tests vesper chanplug)
  # To hold a hive busy as another program would.
  target_link_libraries(app_recording_tests PRIVATE SQLite::SQLite3)
  target_compile_definitions(app_recording_tests PRIVATE VESPER_PATH="$<TARGET_FILE:vesper>")
endif()
# The recordings are judged with the encoder tests' look at media files.
if(TARGET app_recording_tests)
  target_sources(app_recording_tests PRIVATE ${PROJECT_SOURCE_DIR}/components/tests/media_check.cpp)
  target_link_libraries(app_recording_tests PRIVATE vesper_wmenc)
endif()
