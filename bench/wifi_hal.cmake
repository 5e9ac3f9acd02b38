# bench/wifi_hal: round trips of Android's Wi-Fi calls to the bridge's Wi-Fi
# HAL and wificond services (guest: tools/vm/run build/bench/wifi_hal).
if(TARGET ferry_bridge_user AND TARGET ferry-servicemanager)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core)
  add_executable(wifi_hal ${CMAKE_CURRENT_LIST_DIR}/wifi_hal.cpp)
  target_link_libraries(wifi_hal PRIVATE ferry_bridge_user ferry_binder Qt5::Core)
  target_compile_definitions(wifi_hal PRIVATE FERRY_SERVICEMANAGER_BIN="$<TARGET_FILE:ferry-servicemanager>")
  set_target_properties(wifi_hal PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(wifi_hal ferry-servicemanager)
endif()
