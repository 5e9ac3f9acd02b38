# The binder layer without a binder device (runs natively).
if(TARGET ferry_binder)
  find_package(Qt5 5.15 REQUIRED COMPONENTS Test)
  ferry_add_test(NAME test_binder_nodevice LABEL unit QT_MAIN
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_binder_nodevice.cpp
    LIBS ferry_common ferry_test_world Qt5::Test)
endif()
