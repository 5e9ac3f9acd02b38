# bench/gnss_locations: positions from the host's positioning source through
# ferryd-bridge-user to an Android GNSS callback (guest:
# tools/vm/run build/bench/gnss_locations).
if(TARGET ferryd-bridge-user AND TARGET ferrytestposition AND TARGET ferry-servicemanager)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Network)
  add_executable(gnss_locations ${CMAKE_CURRENT_LIST_DIR}/gnss_locations.cpp)
  target_link_libraries(gnss_locations PRIVATE ferry_binder Qt5::Core Qt5::Network)
  target_compile_definitions(gnss_locations PRIVATE
    FERRY_BRIDGE_USER_BIN="$<TARGET_FILE:ferryd-bridge-user>"
    FERRY_SERVICEMANAGER_BIN="$<TARGET_FILE:ferry-servicemanager>"
    FERRY_TEST_PLUGIN_DIR="${CMAKE_BINARY_DIR}/bridge-user/tests/plugins")
  set_target_properties(gnss_locations PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(gnss_locations ferryd-bridge-user ferrytestposition ferry-servicemanager)
endif()
