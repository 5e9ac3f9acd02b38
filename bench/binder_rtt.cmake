# Binder round-trip benchmark (needs the binder driver: tools/vm/run).
add_executable(binder_rtt ${CMAKE_CURRENT_LIST_DIR}/binder_rtt.cpp)
target_link_libraries(binder_rtt PRIVATE ferry_binder)
