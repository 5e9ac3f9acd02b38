# Binder round-trip benchmark (needs the binder driver: tools/vm/run).
add_executable(binder_rtt ${CMAKE_CURRENT_LIST_DIR}/binder_rtt.cpp)
target_link_libraries(binder_rtt PRIVATE ferry_binder)
# The same figures with raw ioctls, which binder_rtt runs first.
add_executable(binder_raw_rtt ${CMAKE_CURRENT_LIST_DIR}/binder_raw_rtt.cpp)
add_dependencies(binder_rtt binder_raw_rtt)
