ferry_add_test(NAME test_datapath LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_datapath.cpp
  LIBS ferry_common)
