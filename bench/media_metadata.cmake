# bench/media_metadata: metadata updates from the simulated runtime's media
# session through ferryd-bridge-user to the MPRIS player on the session bus
# (guest: tools/vm/run build/bench/media_metadata [COUNT]).
if(TARGET ferryd-bridge-user AND TARGET ferry-runtime-sim AND TARGET ferry_test_world)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core DBus Network)
  add_executable(media_metadata ${CMAKE_CURRENT_LIST_DIR}/media_metadata.cpp)
  target_link_libraries(media_metadata PRIVATE ferry_common ferry_test_world Qt5::DBus Qt5::Network)
  target_include_directories(media_metadata PRIVATE ${CMAKE_SOURCE_DIR}/common/tests)
  target_compile_definitions(media_metadata PRIVATE
    FERRY_BRIDGE_USER_BIN="$<TARGET_FILE:ferryd-bridge-user>"
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>")
  set_target_properties(media_metadata PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(media_metadata ferryd-bridge-user ferry-runtime-sim)
endif()
