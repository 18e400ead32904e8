#!/usr/bin/env bash
# Short libFuzzer runs of the parsers that take outside bytes:
#   language_text   language files (line parser, tokens, display names)
#   registry_file   the POSIX settings file (reader, and write-read round trip)
#   cpy_reader      enciphered files (the in-memory reader and the stored-name rules)
# Each target is built with clang++ -fsanitize=fuzzer,address,undefined straight
# from the core sources it needs, then run for a fixed time from a copy of its
# seed corpus (tests/data/text/...). One line per target, then "N passed, N failed".
#
# Usage: scripts/fuzz.sh [target...]
#   FUZZ_SECONDS  run time per target (default 25)
#   Build folder: $TAVRO_BUILD_ROOT/fuzz (default <repo>/out/fuzz).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TAVRO_BUILD_ROOT:-$root/out}/fuzz
seconds=${FUZZ_SECONDS:-25}
cxx=${FUZZ_CXX:-clang++}

if ! command -v "$cxx" >/dev/null 2>&1; then
  echo "fuzz.sh: $cxx not found (install clang and libclang-rt-dev)" >&2
  echo "0 passed, 1 failed"
  exit 1
fi
mkdir -p "$build"

# target name, its source, the core sources it links, its seed folders
declare -A sources=(
  [language_text]="tests/fuzz/fuzz_language_text.cpp text/text_table.cpp text/language_files.cpp
                   platform/registry_posix.cpp platform/registry_file_posix.cpp platform/system_posix.cpp
                   platform/file_posix.cpp platform/file_hook.cpp"
  [registry_file]="tests/fuzz/fuzz_registry_file.cpp platform/registry_file_posix.cpp"
  [cpy_reader]="tests/fuzz/fuzz_cpy_reader.cpp codec/format.cpp codec/names.cpp codec/names_posix.cpp codec/file_codec.cpp codec/random.cpp
                codec/block_crew.cpp codec/content_digest.cpp codec/wipe_journal.cpp crypto/cast_cipher.cpp crypto/cast_cipher_wide.cpp
                platform/file_posix.cpp platform/file_hook.cpp platform/system_posix.cpp
                platform/registry_file_posix.cpp platform/registry_posix.cpp text/text_table.cpp"
)
declare -A seeds=(
  [language_text]="tests/data/text/language dist"
  [registry_file]="tests/data/text/registry"
  [cpy_reader]="tests/data/cpy"
)
all_targets=(language_text registry_file cpy_reader)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

passed=0
failed=0
for target in "${targets[@]}"; do
  if [ -z "${sources[$target]:-}" ]; then
    echo "fuzz $target: FAILED (no such target; known: ${all_targets[*]})"
    failed=$((failed + 1))
    continue
  fi
  exe=$build/fuzz_$target
  log=$build/$target.log
  srcs=()
  for s in ${sources[$target]}; do srcs+=("$root/$s"); done
  if ! "$cxx" -std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
      -I"$root" "${srcs[@]}" -pthread -o "$exe" >"$build/$target.build.log" 2>&1; then
    head -n 40 "$build/$target.build.log"
    echo "fuzz $target: FAILED (build; log: $build/$target.build.log)"
    failed=$((failed + 1))
    continue
  fi

  # A fresh working corpus each time, started from the seeds; the seed folders stay untouched.
  corpus=$build/$target.corpus
  artifacts=$build/$target.artifacts
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  for d in ${seeds[$target]}; do
    [ -d "$root/$d" ] && find "$root/$d" -maxdepth 1 -type f -exec cp {} "$corpus/" \;
  done

  start=$SECONDS
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  runs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
  if [ "$rc" -eq 0 ] && ! ls "$artifacts" | grep -q .; then
    echo "fuzz $target: passed (${runs:-?} runs in $((SECONDS - start)) s, corpus $(ls "$corpus" | wc -l) files)"
    passed=$((passed + 1))
  else
    grep -E -A30 'ERROR: |SUMMARY: |deadly signal|timeout' "$log" | head -n 60
    echo "fuzz $target: FAILED (exit $rc; log: $log; inputs: $artifacts)"
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
