ferry_add_test(NAME test_logging LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_logging.cpp
  LIBS ferry_common)
