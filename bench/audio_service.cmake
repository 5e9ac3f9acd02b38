# bench/audio_service: the simulated audio HAL plays through novumaudioservice
# into a private PulseAudio server (run it in the test guest).
if(TARGET naudio_service_world)
  add_executable(audio_service ${CMAKE_CURRENT_LIST_DIR}/audio_service.cpp)
  target_link_libraries(audio_service PRIVATE naudio_service_world)
  set_target_properties(audio_service PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
