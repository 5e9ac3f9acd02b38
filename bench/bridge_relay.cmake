# Calls through a binder bridge between two HIDL devices (tools/vm/run).
add_executable(bridge_relay ${CMAKE_CURRENT_LIST_DIR}/bridge_relay.cpp)
target_link_libraries(bridge_relay PRIVATE ferry_binder)
target_compile_definitions(bridge_relay PRIVATE FERRY_SERVICEMANAGER="$<TARGET_FILE:ferry-servicemanager>")
add_dependencies(bridge_relay ferry-servicemanager)
