# The hand-over tests send through the message component's client and call
# the component itself.
if(TARGET app_guide_tests)
  target_link_libraries(app_guide_tests PRIVATE msgpipe_core)
endif()
