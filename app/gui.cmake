# The program: the frame window, its menu and the panel, from entry to exit code.
add_library(voltina_app STATIC
    ${CMAKE_CURRENT_LIST_DIR}/t_app.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frame_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program.cpp
    ${CMAKE_CURRENT_LIST_DIR}/audio_system_port.cpp
    ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/midi_port.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sample_port.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_save.cpp
    ${CMAKE_CURRENT_LIST_DIR}/configuration_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_parts.cpp
)
target_include_directories(voltina_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(voltina_app PUBLIC voltina_panel voltina_dialogs voltina_resources voltina_audio voltina_config
    voltina_media voltina_midi_input Qt6::Widgets)

add_executable(voltina ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(voltina PRIVATE voltina_app)
set_target_properties(voltina PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(TARGETS voltina RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
