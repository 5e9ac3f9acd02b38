# bench/file_observer: file changes of a real Tracker endpoint through
# ferryd-bridge-user's file observer to the simulated runtime's media
# scanner (guest: tools/vm/run build/bench/file_observer [BURST] [SINGLES]).
if(TARGET ferryd-bridge-user AND TARGET ferry-runtime-sim AND TARGET ferry_test_world
   AND TARGET ferry_file_index_template)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Core DBus Network)
  pkg_check_modules(FERRY_BENCH_TRACKER REQUIRED IMPORTED_TARGET tracker-sparql-3.0)
  add_executable(file_observer ${CMAKE_CURRENT_LIST_DIR}/file_observer.cpp)
  target_link_libraries(file_observer PRIVATE ferry_common ferry_test_world Qt5::DBus Qt5::Network
    PkgConfig::FERRY_BENCH_TRACKER)
  target_include_directories(file_observer PRIVATE ${CMAKE_SOURCE_DIR}/common/tests
    ${CMAKE_SOURCE_DIR}/bridge-user/tests)
  target_compile_definitions(file_observer PRIVATE
    FERRY_BRIDGE_USER_BIN="$<TARGET_FILE:ferryd-bridge-user>"
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>"
    FERRY_FILE_INDEX_TEMPLATE="${FERRY_FILE_INDEX_TEMPLATE}")
  set_target_properties(file_observer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(file_observer ferryd-bridge-user ferry-runtime-sim ferry_file_index_template)
endif()
