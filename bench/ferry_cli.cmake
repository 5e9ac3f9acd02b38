# bench/ferry_cli: start-up and listing cost of the ferry client (native:
# build/bench/ferry_cli).
if(TARGET ferry)
  add_executable(ferry_cli_bench ${CMAKE_CURRENT_LIST_DIR}/ferry_cli.cpp)
  target_link_libraries(ferry_cli_bench PRIVATE Qt5::Core)
  target_compile_definitions(ferry_cli_bench PRIVATE FERRY_BIN="$<TARGET_FILE:ferry>")
  set_target_properties(ferry_cli_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    OUTPUT_NAME ferry_cli)
  add_dependencies(ferry_cli_bench ferry)
endif()
