#!/usr/bin/env bash
# Sets up a new machine, builds the gateway and runs every test: the unit and integration
# tests on a normal build and on a sanitizer build (AddressSanitizer + UndefinedBehavior-
# Sanitizer), then each fuzz target for a bounded time.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/scripts/install-deps.sh"

fuzz_seconds="${TRAWLEX_FUZZ_SECONDS:-20}"

echo "== build and test =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
(cd build && ctest --output-on-failure)

echo "== sanitizer build and test =="
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTRAWLEX_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j2
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure)

if [ -x tests/fuzz/run.sh ]; then
  echo "== fuzz =="
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DTRAWLEX_FUZZ=ON -DTRAWLEX_TESTS=ON >/dev/null
  cmake --build build-fuzz -j2 --target fuzz_store fuzz_uidl   # the fuzz targets only
  tests/fuzz/run.sh build-fuzz "$fuzz_seconds"
fi
echo "== all tests passed =="
