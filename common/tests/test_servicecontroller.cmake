# One controller per process, so each world configuration has its own program.
ferry_add_test(NAME test_servicecontroller LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_servicecontroller.cpp
  LIBS ferry_common ferry_test_world)
ferry_add_test(NAME test_servicecontroller_nounit LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_servicecontroller_nounit.cpp
  LIBS ferry_common ferry_test_world)
ferry_add_test(NAME test_servicecontroller_runtime LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_servicecontroller_runtime.cpp
  LIBS ferry_common ferry_test_world)
ferry_add_test(NAME test_servicecontroller_noprops LABEL unit QT_MAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_servicecontroller_noprops.cpp
  LIBS ferry_common ferry_test_world)
