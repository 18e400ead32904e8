#!/usr/bin/env bash
# Builds the native Release `tavro` and shows it at work.
# Build folder: $TAVRO_BUILD_ROOT/release (default <repo>/out/release).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${TAVRO_BUILD_ROOT:-$root/out}
build=$build_root/release

build_tavro() {
  bash "$root/scripts/setup.sh" >/dev/null
  mkdir -p "$build"
  local log=$build/demo-build.log
  if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
         cmake --build "$build" -j2 --target tavro; } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "demo: building tavro failed (log: $log)" >&2
    exit 1
  fi
}

# run_demo <tavro program> <scratch folder (empty, removed afterwards)>
run_demo() {
  local tavro=$1 scratch=$2
  : "$scratch"
  echo "\$ tavro --version"
  "$tavro" --version
  echo
  echo "\$ tavro --help"
  "$tavro" --help
}

build_tavro
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavro-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
run_demo "$build/tavro" "$scratch"
