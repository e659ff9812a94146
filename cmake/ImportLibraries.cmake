# Import libraries for the link. Debian has none for the Visual C++ runtime DLLs in the Microsoft
# ABI (Wine's own lib*.a of msvcp140 hold no C++ names), so they are made from Wine's DLLs: their
# export tables, read by gendef, become .lib files through llvm-dlltool. The system DLLs' import
# libraries are MinGW-w64's, which lld-link reads as they are.
find_path(CVEX_WINE_DLL_DIR ucrtbase.dll
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_DEFAULT_PATH REQUIRED)
find_program(CVEX_GENDEF gendef REQUIRED)
find_program(CVEX_DLLTOOL llvm-dlltool-19 REQUIRED)
set(CVEX_IMPLIB_DIR ${CMAKE_BINARY_DIR}/implib)
file(MAKE_DIRECTORY ${CVEX_IMPLIB_DIR})

set(cvex_runtime_dlls ucrtbase vcruntime140 msvcp140)
foreach(dll ${cvex_runtime_dlls})
  set(lib ${CVEX_IMPLIB_DIR}/${dll}.lib)
  if(NOT EXISTS ${lib} OR ${CVEX_WINE_DLL_DIR}/${dll}.dll IS_NEWER_THAN ${lib})
    execute_process(COMMAND ${CVEX_GENDEF} - ${CVEX_WINE_DLL_DIR}/${dll}.dll
                    OUTPUT_VARIABLE def RESULT_VARIABLE rc ERROR_QUIET)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "gendef could not read ${CVEX_WINE_DLL_DIR}/${dll}.dll")
    endif()
    # Comments go; a forwarded export ("name = ucrtbase.name") is imported by its own name.
    string(REGEX REPLACE ";[^\n]*" "" def "${def}")
    string(REGEX REPLACE "([^\n ]+) = [^\n ]+" "\\1" def "${def}")
    file(WRITE ${CVEX_IMPLIB_DIR}/${dll}.def "${def}")
    execute_process(COMMAND ${CVEX_DLLTOOL} -m i386:x86-64 -d ${CVEX_IMPLIB_DIR}/${dll}.def -l ${lib}
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "llvm-dlltool could not make ${lib}")
    endif()
  endif()
endforeach()

set(cvex_system_dlls kernel32 user32 advapi32 shell32 shlwapi ws2_32 iphlpapi version psapi ntdll)
foreach(dll ${cvex_system_dlls})
  set(mingw_lib /usr/x86_64-w64-mingw32/lib/lib${dll}.a)
  if(NOT EXISTS ${mingw_lib})
    message(FATAL_ERROR "${mingw_lib} is missing: install mingw-w64-x86-64-dev")
  endif()
  file(CREATE_LINK ${mingw_lib} ${CVEX_IMPLIB_DIR}/${dll}.lib SYMBOLIC)
endforeach()

# Every program and DLL links the runtime DLLs and the common system DLLs.
set(cvex_default_libs "")
foreach(dll vcruntime140 ucrtbase msvcp140 kernel32 user32 advapi32 shell32 shlwapi ws2_32)
  string(APPEND cvex_default_libs " ${CVEX_IMPLIB_DIR}/${dll}.lib")
endforeach()
set(CMAKE_C_STANDARD_LIBRARIES "${cvex_default_libs}")
set(CMAKE_CXX_STANDARD_LIBRARIES "${cvex_default_libs}")
link_directories(${CVEX_IMPLIB_DIR})
