# The hand-over socket is a QLocalServer: the main program needs Qt Network.
find_package(Qt6 REQUIRED COMPONENTS Network GLOBAL)
target_link_libraries(vesper_app PUBLIC Qt6::Network)

# The hand-over tests send through the message component's client and call
# the component itself.
if(TARGET app_guide_tests)
  target_link_libraries(app_guide_tests PRIVATE msgpipe_core)
endif()
