#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root). Installs only what
# is missing, so a second run is quick. "install-deps.sh fuzz" installs only what the native fuzz
# build needs (scripts/run-fuzz.sh).
#
# The Windows programs are built in the Microsoft C++ ABI: clang-19 and lld-link, Wine's Windows
# and C-runtime headers (libwine-dev), MinGW-w64's import libraries of the system DLLs, and
# Microsoft's open-source standard library (see find_msvc_stl below). MinGW-w64's 32-bit g++
# builds only the test bed's 32-bit daemon.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# clang with the runtime libraries of libFuzzer and the sanitizers (Debian 12: clang 14).
fuzz_packages=(cmake make clang libclang-rt-14-dev)
packages=(cmake make clang-19 lld-19 llvm-19 libwine-dev mingw-w64-x86-64-dev mingw-w64-tools
          g++-mingw-w64-i686-posix wine wine64 googletest clang-format python3 iproute2 util-linux ccache
          nlohmann-json3-dev libcli11-dev git "${fuzz_packages[@]}")
if [ "${1:-}" = fuzz ]; then
  packages=("${fuzz_packages[@]}")
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "${1:-}" = fuzz ] && exit 0

# Microsoft's standard library (Apache-2.0 with LLVM exception), pinned to the newest release that
# accepts clang 19: $CVEX_MSVC_STL, else ../shared/msvc-stl beside the checkout, else a clone of
# the public repository into ../msvc-stl beside the checkout when this machine reaches it.
stl_tag=vs-2022-17.14
stl_repo=https://github.com/microsoft/STL
find_msvc_stl() {
  local candidate
  for candidate in "${CVEX_MSVC_STL:-}" "$root/../shared/msvc-stl" "$root/../msvc-stl"; do
    if [ -n "$candidate" ] && [ -f "$candidate/stl/inc/yvals_core.h" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}
if ! find_msvc_stl >/dev/null; then
  if [ -n "${CVEX_MSVC_STL:-}" ]; then
    echo "install-deps: CVEX_MSVC_STL=$CVEX_MSVC_STL holds no stl/inc/yvals_core.h" >&2
    exit 1
  fi
  echo "install-deps: fetching Microsoft's standard library ($stl_tag)"
  if ! git clone -q --depth 1 --branch "$stl_tag" "$stl_repo" "$root/../msvc-stl" 2>/dev/null; then
    rm -rf "$root/../msvc-stl"
    cat >&2 <<MSG
install-deps: Microsoft's standard library was not found and could not be fetched.
  Put a copy of $stl_repo at tag $stl_tag (its stl/inc and stl/src folders) in
  $(realpath -m "$root/../shared/msvc-stl"), or set CVEX_MSVC_STL to the folder that holds stl/inc.
MSG
    exit 1
  fi
fi
