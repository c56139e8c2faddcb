# The tuner tests bring the real capture component up once on the virtual card.
add_dependencies(app_tuner_tests Capgraph wmenceng)
target_compile_definitions(app_tuner_tests PRIVATE CAPGRAPH_PATH="$<TARGET_FILE:Capgraph>"
                                                   ENGINE_PATH="$<TARGET_FILE:wmenceng>")
