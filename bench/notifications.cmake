# bench/notifications: notifications posted by the simulated runtime
# through ferryd-bridge to the recording notification server (guest:
# tools/vm/run build/bench/notifications).
if(TARGET ferryd-bridge AND TARGET ferry-runtime-sim AND TARGET ferry_platform_testbus)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Network)
  add_executable(notifications ${CMAKE_CURRENT_LIST_DIR}/notifications.cpp)
  target_include_directories(notifications PRIVATE ${CMAKE_SOURCE_DIR}/bridge/tests ${CMAKE_SOURCE_DIR}/common/tests)
  target_link_libraries(notifications PRIVATE ferry_common ferry_test_world ferry_platform_testbus Qt5::Network)
  target_compile_definitions(notifications PRIVATE
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>"
    FERRY_BRIDGE_BIN="$<TARGET_FILE:ferryd-bridge>")
  set_target_properties(notifications PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(notifications ferryd-bridge ferry-runtime-sim)
endif()
