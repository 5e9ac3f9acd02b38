# bench/sensor_events: accelerometer readings from the host's sensors
# backend through ferryd-bridge-user's sensors HAL to the simulator's
# polling client (guest: tools/vm/run build/bench/sensor_events).
if(TARGET ferryd-bridge-user AND TARGET ferrytestsensors AND TARGET ferry-servicemanager AND TARGET ferry-runtime-sim)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Network)
  add_executable(sensor_events ${CMAKE_CURRENT_LIST_DIR}/sensor_events.cpp)
  target_link_libraries(sensor_events PRIVATE ferry_binder Qt5::Core Qt5::Network)
  target_compile_definitions(sensor_events PRIVATE
    FERRY_BRIDGE_USER_BIN="$<TARGET_FILE:ferryd-bridge-user>"
    FERRY_SERVICEMANAGER_BIN="$<TARGET_FILE:ferry-servicemanager>"
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>"
    FERRY_TEST_PLUGIN_DIR="${CMAKE_BINARY_DIR}/bridge-user/tests/plugins")
  set_target_properties(sensor_events PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(sensor_events ferryd-bridge-user ferrytestsensors ferry-servicemanager ferry-runtime-sim)
endif()
