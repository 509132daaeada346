#!/usr/bin/env bash
# Sets up a new machine, builds the gateway and runs every test: the unit and integration
# tests on a normal build and on a sanitizer build (AddressSanitizer + UndefinedBehavior-
# Sanitizer), then each fuzz target for a bounded time. Every phase runs even when an earlier
# one failed; the end lists every failure and the status is non-zero if there was one.
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/scripts/install-deps.sh" || { echo "== installing the dependencies failed =="; exit 1; }

fuzz_seconds="${TRAWLEX_FUZZ_SECONDS:-20}"
failures=()
flaky=()

# phase NAME COMMAND...: runs one step and remembers it when it fails (the tests of a build
# that failed are not run).
phase() {
  local name="$1"
  shift
  echo "== $name =="
  if ! "$@"; then
    failures+=("$name")
    echo "== $name: FAILED =="
    return 1
  fi
}

# The names of the tests ctest found failing in a build directory, for the summary.
failed_tests() {
  local log="$1/Testing/Temporary/LastTestsFailed.log"
  [ -f "$log" ] && cut -d: -f2 "$log" | tr '\n' ' '
}

# A test that fails is run once more on its own, with nothing else loading the machine: one
# that passes then is named in the summary as flaky (to be looked into), not counted a failure.
run_ctest() {
  local dir="$1"
  shift
  if ! (cd "$dir" && env "$@" ctest -j2 --output-on-failure); then
    local first
    first="$(failed_tests "$dir")"
    if (cd "$dir" && env "$@" ctest --rerun-failed --output-on-failure); then
      flaky+=("tests in $dir: $first")
    else
      failures+=("tests in $dir: $(failed_tests "$dir")")
    fi
  fi
  return 0   # counted here, with the names of the failing tests
}

build_normal() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build build -j2
}
build_sanitize() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTRAWLEX_SANITIZE=ON >/dev/null &&
    cmake --build build-sanitize -j2
}
build_fuzz() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DTRAWLEX_FUZZ=ON -DTRAWLEX_TESTS=ON >/dev/null &&
    cmake --build build-fuzz -j2 --target fuzz_store fuzz_uidl fuzz_token_reply fuzz_autoconfig_xml fuzz_imap_parser fuzz_imap_utf7   # the fuzz targets only
}

phase "build" build_normal && phase "test" run_ctest build
phase "sanitizer build" build_sanitize &&
  phase "sanitizer test" run_ctest build-sanitize ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
if [ -x tests/fuzz/run.sh ]; then
  phase "fuzz build" build_fuzz && phase "fuzz" tests/fuzz/run.sh build-fuzz "$fuzz_seconds"
fi

if [ "${#flaky[@]}" -gt 0 ]; then
  echo "== failed once, passed when run again =="
  printf '  %s\n' "${flaky[@]}"
fi
if [ "${#failures[@]}" -gt 0 ]; then
  echo "== failures =="
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "== all tests passed =="
