# bench/contacts_push: a full push of 5 000 host contacts by ferryd-bridge
# into the simulated Android contacts service, and the bridge's peak RSS
# (guest: tools/vm/run build/bench/contacts_push).
if(TARGET ferryd-bridge AND TARGET ferry-runtime-sim AND TARGET qtcontacts_ferrystore AND TARGET ferry_test_world)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core Contacts Network)
  add_executable(contacts_push ${CMAKE_CURRENT_LIST_DIR}/contacts_push.cpp)
  target_include_directories(contacts_push PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
    ${CMAKE_SOURCE_DIR}/bridge/contacts/tests)
  target_link_libraries(contacts_push PRIVATE ferry_common ferry_test_world Qt5::Core Qt5::Contacts Qt5::Network)
  target_compile_definitions(contacts_push PRIVATE
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>"
    FERRY_BRIDGE_BIN="$<TARGET_FILE:ferryd-bridge>"
    FERRY_PLUGIN_DIR="${CMAKE_BINARY_DIR}/plugins")
  set_target_properties(contacts_push PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(contacts_push ferryd-bridge ferry-runtime-sim qtcontacts_ferrystore)
endif()
