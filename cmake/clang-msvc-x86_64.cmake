# Cross-compile for Windows x64 in the Microsoft C++ ABI: Debian's clang-19 and lld-link, Microsoft's
# open-source standard library, Wine's Windows and C-runtime headers, and the project's own stand-ins
# for Visual C++'s non-public runtime files (msvc-runtime/). Results run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_RC_COMPILER llvm-rc-19)
set(CMAKE_AR llvm-ar-19 CACHE FILEPATH "")
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)

get_filename_component(CVEX_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# Microsoft's standard library: $CVEX_MSVC_STL, else ../shared/msvc-stl beside the checkout, else
# ../msvc-stl (where scripts/install-deps.sh clones it on a machine that reaches its repository).
if(NOT CVEX_MSVC_STL)
  foreach(candidate "$ENV{CVEX_MSVC_STL}" "${CVEX_SOURCE_ROOT}/../shared/msvc-stl" "${CVEX_SOURCE_ROOT}/../msvc-stl")
    if(candidate AND EXISTS "${candidate}/stl/inc/yvals_core.h")
      get_filename_component(candidate "${candidate}" ABSOLUTE)
      set(CVEX_MSVC_STL "${candidate}" CACHE PATH "Microsoft STL tree (holds stl/inc)")
      break()
    endif()
  endforeach()
endif()
if(NOT CVEX_MSVC_STL OR NOT EXISTS ${CVEX_MSVC_STL}/stl/inc/yvals_core.h)
  message(FATAL_ERROR "Microsoft's standard library was not found: set CVEX_MSVC_STL to the folder "
                      "that holds stl/inc, or run scripts/install-deps.sh")
endif()

set(CVEX_CLANG_RESOURCE /usr/lib/llvm-19/lib/clang/19/include)
set(CVEX_WINE_INCLUDE /usr/include/wine/wine)
# Headers in the order Visual C++ sees them: compiler, runtime stand-ins, STL, C runtime, Windows.
set(cvex_includes
  ${CVEX_CLANG_RESOURCE}
  ${CVEX_SOURCE_ROOT}/msvc-runtime/include
  ${CVEX_MSVC_STL}/stl/inc
  ${CVEX_WINE_INCLUDE}/msvcrt
  ${CVEX_WINE_INCLUDE}/windows)
set(cvex_flags "-fms-compatibility -fms-extensions -fms-compatibility-version=19.44 -nostdinc")
foreach(dir ${cvex_includes})
  string(APPEND cvex_flags " -isystem ${dir}")
endforeach()
# _USE_STD_VECTOR_ALGORITHMS=0: the vectorised helpers live in a static library we do not have.
string(APPEND cvex_flags " -D_MT -D_DLL -D_USE_STD_VECTOR_ALGORITHMS=0 -DWINE_UNICODE_NATIVE")
set(CMAKE_C_FLAGS_INIT "${cvex_flags}")
set(CMAKE_CXX_FLAGS_INIT "${cvex_flags} -fcxx-exceptions -fexceptions")
# Only the start-up stand-ins and the import libraries made from the runtime DLLs are linked.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,/nodefaultlib")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,/nodefaultlib")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,/nodefaultlib")
# The compiler checks cannot link before the runtime exists.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_RC_FLAGS_INIT "-I ${CVEX_WINE_INCLUDE}/windows -I ${CVEX_WINE_INCLUDE}/msvcrt")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything runs through the project's Wine wrapper (prefix inside the build tree).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CVEX_SOURCE_ROOT}/scripts/wine-run.sh)
