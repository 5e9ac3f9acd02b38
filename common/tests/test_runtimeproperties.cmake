ferry_add_test(NAME test_runtimeproperties LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_runtimeproperties.cpp
  LIBS ferry_common)
