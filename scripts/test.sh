#!/usr/bin/env bash
# The whole test run: packages, native Release build and tests (the Debian package
# among them), native ASan+UBSan build and tests, native ThreadSanitizer build and
# tests, the fuzz run (scripts/fuzz.sh, when present), the Windows cross build and its
# tests under a private headless Wine session.
# Ends with one line "N passed, N failed" and a non-zero status when anything failed.
# Build folders go under $TAVRO_BUILD_ROOT (default: <repo>/out).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build_root=${TAVRO_BUILD_ROOT:-$root/out}
logs=$build_root/logs
mkdir -p "$logs"
jobs=2

passed=0
failed=0
started=$SECONDS

stage() { echo; echo "=== $* ($((SECONDS - started)) s)"; }

# Adds the counts of a ctest log to the totals; a run without a summary counts as one failure.
count_ctest() {
  local log=$1 line p f total
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  if [ -n "$line" ]; then
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    p=$((total - f))
    passed=$((passed + p))
    failed=$((failed + f))
  elif grep -q 'No tests were found' "$log"; then
    :
  else
    echo "test.sh: no ctest summary in $log" >&2
    failed=$((failed + 1))
  fi
}

# configure_and_build <name> <cmake args...>: quiet build, log shown on failure.
configure_and_build() {
  local name=$1
  shift
  local dir=$build_root/$name
  if ! cmake -S "$root" -B "$dir" -G Ninja "$@" >"$logs/$name-configure.log" 2>&1; then
    tail -n 40 "$logs/$name-configure.log"
    echo "test.sh: $name: configure FAILED (log: $logs/$name-configure.log)"
    failed=$((failed + 1))
    return 1
  fi
  # Keep going past a broken target so that the tests that do build still run.
  if ! cmake --build "$dir" -j"$jobs" -- -k 0 >"$logs/$name-build.log" 2>&1; then
    grep -E -A12 'FAILED:|error:' "$logs/$name-build.log" | head -n 80
    echo "test.sh: $name: build FAILED (log: $logs/$name-build.log); running the tests that built"
    failed=$((failed + 1))
    return 0
  fi
  echo "$name: built in $dir"
}

# run_ctest <name> [wrapper...]: ctest of a build folder, optionally inside a wrapper command.
run_ctest() {
  local name=$1
  shift
  "$@" ctest --test-dir "$build_root/$name" -j"$jobs" --output-on-failure --timeout 600 \
    2>&1 | tee "$logs/$name-ctest.log" | grep -v -E '^ *(Start +[0-9]+:|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed)'
  count_ctest "$logs/$name-ctest.log"
}

stage "packages"
if ! bash "$root/scripts/setup.sh"; then
  echo "0 passed, 1 failed"
  exit 1
fi

stage "native Release build and tests"
if configure_and_build release -DCMAKE_BUILD_TYPE=Release; then
  run_ctest release
fi

stage "native AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
if configure_and_build sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_SANITIZE=ON -DTAVRO_BENCH=OFF; then
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    run_ctest sanitize
fi

stage "native ThreadSanitizer build and tests"
if configure_and_build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRO_THREAD_SANITIZE=ON -DTAVRO_BENCH=OFF; then
  # Reports go to files, so that one from a `tavro` started by a test that does not
  # look at its exit status still fails the run.
  tsan_reports=$build_root/tsan/reports
  rm -rf "$tsan_reports" && mkdir -p "$tsan_reports"
  TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}halt_on_error=1:second_deadlock_stack=1:log_path=$tsan_reports/report" \
    run_ctest tsan
  if compgen -G "$tsan_reports/report*" >/dev/null; then
    head -n 200 "$tsan_reports"/report*
    echo "test.sh: ThreadSanitizer reported (files: $tsan_reports)"
    failed=$((failed + 1))
  fi
fi

if [ -f "$root/scripts/fuzz.sh" ]; then
  stage "fuzzing (scripts/fuzz.sh)"
  bash "$root/scripts/fuzz.sh" 2>&1 | tee "$logs/fuzz.log"
  fuzz_rc=${PIPESTATUS[0]}
  # fuzz.sh ends with its own "N passed, N failed"; without it the run counts as one result.
  fuzz_line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$logs/fuzz.log" | tail -n1)
  if [ -n "$fuzz_line" ]; then
    passed=$((passed + $(cut -d' ' -f1 <<<"$fuzz_line")))
    failed=$((failed + $(cut -d' ' -f3 <<<"$fuzz_line")))
    if [ "$fuzz_rc" != 0 ] && [ "$(cut -d' ' -f3 <<<"$fuzz_line")" = 0 ]; then
      failed=$((failed + 1))
    fi
  elif [ "$fuzz_rc" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  [ "$fuzz_rc" = 0 ] || echo "test.sh: scripts/fuzz.sh FAILED (log: $logs/fuzz.log)"
fi

stage "Windows cross build and tests under Wine"
if configure_and_build win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DTAVRO_BENCH=OFF; then
  run_ctest win "$root/scripts/wine-session.sh"
  if [ -d "$build_root/win/screenshots" ]; then
    echo "screenshots: $build_root/win/screenshots"
  fi
fi

stage "done"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
