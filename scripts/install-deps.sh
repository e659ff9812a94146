#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root). Installs only what
# is missing, so a second run is quick. "install-deps.sh fuzz" installs only what the native fuzz
# build needs (scripts/run-fuzz.sh).
set -euo pipefail
# clang with the runtime libraries of libFuzzer and the sanitizers (Debian 12: clang 14).
fuzz_packages=(cmake make clang libclang-rt-14-dev)
packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          g++-mingw-w64-i686-posix wine wine64 googletest clang-format python3 iproute2 util-linux ccache nlohmann-json3-dev
          libcli11-dev "${fuzz_packages[@]}")
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
