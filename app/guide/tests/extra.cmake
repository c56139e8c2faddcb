# The hand-over tests send through the message component's client and call
# the component itself.
if(TARGET app_guide_tests)
  target_link_libraries(app_guide_tests PRIVATE msgpipe_core)
endif()
# guidelink --sch, as a browser runs it, against the hand-over server in the
# test process: the program and the message component it loads.
if(TARGET app_guide_tests)
  add_dependencies(app_guide_tests guidelink msgpipe)
  target_compile_definitions(app_guide_tests PRIVATE
    GUIDELINK_PATH="$<TARGET_FILE:guidelink>"
    MSGPIPE_PATH="$<TARGET_FILE:msgpipe>")
endif()
