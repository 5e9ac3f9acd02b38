# bench/wifi_monitor: the host's Wi-Fi going online and offline in the
# connman stand-in, through ferryd-bridge-user's Wi-Fi monitor, to the
# simulated runtime's novum.connectivity; and the connman layer's property
# updates (guest: tools/vm/run build/bench/wifi_monitor [COUNT]).
if(TARGET ferryd-bridge-user AND TARGET ferry-runtime-sim AND TARGET ferry_test_world)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core DBus Network)
  add_executable(wifi_monitor ${CMAKE_CURRENT_LIST_DIR}/wifi_monitor.cpp)
  target_link_libraries(wifi_monitor PRIVATE ferry_common ferry_test_world ferry_connman ferry_connman_standin_client
    Qt5::DBus Qt5::Network)
  target_include_directories(wifi_monitor PRIVATE ${CMAKE_SOURCE_DIR}/common/tests)
  target_compile_definitions(wifi_monitor PRIVATE
    FERRY_BRIDGE_USER_BIN="$<TARGET_FILE:ferryd-bridge-user>"
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>"
    FERRY_CONNMAN_STANDIN_BIN="$<TARGET_FILE:ferry-connman-standin>")
  set_target_properties(wifi_monitor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(wifi_monitor ferryd-bridge-user ferry-runtime-sim ferry-connman-standin)
endif()
