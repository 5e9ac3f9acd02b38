# ferry_add_test(NAME name LABEL unit|vm|system SOURCES ... [LIBS ...] [TIMEOUT s] [ENV VAR=VALUE ...])
#
# One test program per module. Label "unit" runs natively; "vm" needs the
# real binder driver and runs inside tools/vm/run; "system" needs the whole
# installed system under systemd and runs inside tools/vm/run --system. Tests link GoogleTest and
# GoogleMock; Qt-based tests bring their own main() (see tests/qt_gtest_main.cpp).
if(FERRY_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()

function(ferry_add_test)
  if(NOT FERRY_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "QT_MAIN" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_LABEL MATCHES "^(unit|vm|system)$")
    message(FATAL_ERROR "ferry_add_test(${T_NAME}): LABEL must be unit, vm or system")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_QT_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ferry_qt_gtest_main)
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()
