# The hand-over socket is a QLocalServer: the main program needs Qt Network.
find_package(Qt6 REQUIRED COMPONENTS Network GLOBAL)
target_link_libraries(vesper_app PUBLIC Qt6::Network)
