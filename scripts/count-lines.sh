#!/usr/bin/env bash
# Counts non-blank lines of code (data files and fuzz corpora left out): the tests against the
# product and the test bed, to keep the suite's size in proportion to what it tests.
# Usage: scripts/count-lines.sh [--areas]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.sh' -o -name '*.rc' \
       -o -name '*.cmake' -o -name 'CMakeLists.txt' \) -not -path '*/corpus/*' -not -path '*/logs/*' \
       -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$' || true
}
product=(catalogue client console credentials hostapi plugin restore support system trace msvc-runtime)
testbed=(simulator netlib host sandbox benchmarks fuzz scripts cmake)
tests=$(count tests)
prod=$(count "${product[@]}")
bed=$(count "${testbed[@]}")
echo "tests    $tests"
echo "product  $prod"
echo "testbed  $bed"
awk -v t="$tests" -v p="$prod" -v b="$bed" \
  'BEGIN { printf "tests / (product + test bed) = %.3f   tests / product = %.3f\n", t / (p + b), t / p }'
if [ "${1:-}" = --areas ]; then
  for d in tests/*/; do printf '  %-20s %s\n' "$d" "$(count "$d")"; done
fi
