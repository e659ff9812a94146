# GoogleTest from Debian's source package, built with the cross compiler.
option(CVEX_TESTS "Build the test programs" ON)
if(CVEX_TESTS)
  enable_testing()
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gmock)
    target_compile_options(${t} PRIVATE -w)
  endforeach()
endif()

# cvex_add_test(NAME name LABELS area [slow] SOURCES ... [LIBS ...] [TIMEOUT s])
# Builds one GoogleTest program and registers it with CTest under Wine.
# The test programs share cvex_test_main, which frees the inherited console first.
function(cvex_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE cvex_test_main ${T_LIBS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "WINEPREFIX=${CVEX_WINEPREFIX}"
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endfunction()
