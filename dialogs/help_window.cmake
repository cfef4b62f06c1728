# The help window's file: where the program looks for VOLTINA.TXT once installed, and a copy beside the
# build's programs (build/bin/../share/voltina) so that an uninstalled build finds it too.
target_compile_definitions(voltina_dialogs PRIVATE VOLTINA_DATA_DIR="${VOLTINA_DATA_DIR}")
configure_file(${PROJECT_SOURCE_DIR}/resources/VOLTINA.TXT ${CMAKE_BINARY_DIR}/share/voltina/VOLTINA.TXT COPYONLY)
install(FILES ${PROJECT_SOURCE_DIR}/resources/VOLTINA.TXT DESTINATION ${CMAKE_INSTALL_DATADIR}/voltina)
