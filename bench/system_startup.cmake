# bench/system_startup: start-up times and memory of the installed system
# under systemd (full-system guest:
# tools/vm/run --system build/bench/system_startup [CYCLES]).
if(TARGET ferry_system_guest)
  add_executable(system_startup ${CMAKE_CURRENT_LIST_DIR}/system_startup.cpp)
  target_link_libraries(system_startup PRIVATE ferry_system_guest Qt5::DBus)
  target_compile_definitions(system_startup PRIVATE FERRY_INSTALLED_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}")
  set_target_properties(system_startup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
