# Needs the binder driver, the runtime simulator and the systemd stand-in.
if(TARGET ferry_binder AND EXISTS ${CMAKE_SOURCE_DIR}/sim/runtime/CMakeLists.txt)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Test Network)
  ferry_add_test(NAME test_binder_service LABEL vm QT_MAIN TIMEOUT 90
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_binder_service.cpp ${CMAKE_CURRENT_LIST_DIR}/simworld.h
    LIBS ferry_common ferry_test_world Qt5::Test Qt5::Network)
  # The library's private view of an object: whether it was dropped.
  target_include_directories(test_binder_service PRIVATE ${CMAKE_SOURCE_DIR}/binder/src)
  target_compile_definitions(test_binder_service PRIVATE
    FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>")
  add_dependencies(test_binder_service ferry-runtime-sim)
  # The simulator becomes context manager of the binder devices: one at a time.
  set_tests_properties(test_binder_service PROPERTIES RESOURCE_LOCK binder_context_manager)
endif()
