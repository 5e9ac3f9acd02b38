# bench/audio_write: playback through naudio_audio_output_write against a
# private PulseAudio server (CPU and wall time per second of audio).
add_executable(audio_write
  ${CMAKE_CURRENT_LIST_DIR}/audio_write.cpp
  ${PROJECT_SOURCE_DIR}/audio/src/tests/private-pulse-server.cpp)
target_include_directories(audio_write PRIVATE ${PROJECT_SOURCE_DIR}/audio/src/tests)
target_link_libraries(audio_write PRIVATE novumaudioservice ferryaudiolog)
set_target_properties(audio_write PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
