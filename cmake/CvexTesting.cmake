# GoogleTest from Debian's source package, built with the cross compiler.
option(CVEX_TESTS "Build the test programs" ON)
if(CVEX_TESTS)
  enable_testing()
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
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
  # Programs of one folder share its trace log, which each one deletes when it starts: tests that
  # read what they traced must not run beside another program of that folder.
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} RESOURCE_LOCK cvex_program_folder_trace SKIP_RETURN_CODE 77
    ENVIRONMENT "WINEPREFIX=${CVEX_WINEPREFIX}"
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endfunction()

# cvex_add_sandbox_test(NAME name LABELS area [slow] SOURCES ... [LIBS ...] [SHAPE shape]
#                       [DRIVES D,E|none] [CDROM F] [SANDBOX_ARGS ...] [ARGS ...] [TIMEOUT s])
# Builds one GoogleTest program and registers it to run inside a fresh sandbox machine
# (sandbox/README.md): simulated server with a store of SHAPE (default standard), disks DRIVES
# (default D), an optional CD-ROM drive; SANDBOX_ARGS go to the sandbox builder, ARGS to the program.
function(cvex_add_sandbox_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;SHAPE;DRIVES;CDROM" "LABELS;SOURCES;LIBS;SANDBOX_ARGS;ARGS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE cvex_test_main ${T_LIBS})
  # The machine gets CVEX.DLL, halvo_nm.dll and the simulated client tools from the build tree.
  set(machine_parts CVEX halvo_nm)
  if(EXISTS ${CMAKE_SOURCE_DIR}/simulator/CMakeLists.txt)
    get_property(sim_targets DIRECTORY ${CMAKE_SOURCE_DIR}/simulator PROPERTY BUILDSYSTEM_TARGETS)
    list(FILTER sim_targets INCLUDE REGEX "^sim_")
    list(APPEND machine_parts ${sim_targets})
  endif()
  foreach(part ${machine_parts})
    if(TARGET ${part})
      add_dependencies(${T_NAME} ${part})
    endif()
  endforeach()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_SHAPE)
    set(T_SHAPE standard)
  endif()
  if(NOT T_DRIVES)
    set(T_DRIVES D)
  endif()
  set(machine --build ${CMAKE_BINARY_DIR} --name ${T_NAME} --shape ${T_SHAPE} --drives ${T_DRIVES})
  if(T_CDROM)
    list(APPEND machine --cdrom ${T_CDROM})
  endif()
  add_test(NAME ${T_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/sandbox/run-in-sandbox.sh ${machine} ${T_SANDBOX_ARGS}
            -- $<TARGET_FILE:${T_NAME}> --gtest_color=no ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()
