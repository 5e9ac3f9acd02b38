ferry_add_test(NAME test_parcel LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_parcel.cpp
  LIBS ferry_common)
