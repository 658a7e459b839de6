find_package(GTest REQUIRED)
include(GoogleTest)

# vorel_add_test(<name> LABEL <unit|engine|gui|e2e> SOURCES ... [LIBS ...] [ENV VAR=value ...] [SERIAL])
# SERIAL: a test that keeps every core busy runs with nothing beside it.
# One GoogleTest executable; each test case becomes one CTest test with the label.
function(vorel_add_test name)
  cmake_parse_arguments(T "SERIAL" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  set(_serial FALSE)
  if(T_SERIAL)
    set(_serial TRUE)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # Tests that start their own X server take turns: two Xvfb servers starting and
  # stopping side by side now and then left a program reaching for a display that
  # had just gone ("could not connect to display :0").
  set(_lock "")
  if(T_LABEL STREQUAL "e2e")
    set(_lock RESOURCE_LOCK xserver)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vorel_testsupport GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}" RUN_SERIAL ${_serial} ${_lock})
endfunction()
