# bench/desktop_entries: ferryd turning the runtime's launcher reports into
# desktop entries (guest: tools/vm/run build/bench/desktop_entries).
if(TARGET ferryd_world AND TARGET ferry-runtime-sim)
  add_executable(desktop_entries ${CMAKE_CURRENT_LIST_DIR}/desktop_entries.cpp)
  target_link_libraries(desktop_entries PRIVATE ferryd_world ferryd_core)
  target_compile_definitions(desktop_entries PRIVATE FERRY_RUNTIME_SIM_BIN="$<TARGET_FILE:ferry-runtime-sim>")
  set_target_properties(desktop_entries PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  add_dependencies(desktop_entries ferryd ferry-runtime-sim)
endif()
