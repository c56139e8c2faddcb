# The schedule commands run on the real scheduler component, registered in
# each test's own hive.
if(TARGET app_schedule_tests)
  add_dependencies(app_schedule_tests Slotbook)
  target_compile_definitions(app_schedule_tests PRIVATE SLOTBOOK_PATH="$<TARGET_FILE:Slotbook>")
endif()
