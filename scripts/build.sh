#!/usr/bin/env bash
# Configures and builds everything (DLL, reference host, simulator, tests) into ./build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CVEX_BUILD_DIR:-$root/build}
# ccache (when present) lets several checkouts of the tree share compiled objects.
launcher=()
if command -v ccache >/dev/null; then
  cc="env;CCACHE_BASEDIR=$(dirname "$root");CCACHE_NOHASHDIR=1;ccache"
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER="$cc" -DCMAKE_CXX_COMPILER_LAUNCHER="$cc")
fi
# A tree configured for another toolchain (the former MinGW-w64 build) is configured anew.
toolchain="$root/cmake/clang-msvc-x86_64.cmake"
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "CMAKE_TOOLCHAIN_FILE.*=$toolchain\$" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
"$root/scripts/make-wineprefix.sh" "$build/wineprefix"
