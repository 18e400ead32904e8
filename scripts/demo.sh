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
  local sample=$scratch/sample password=demo-password
  # The demo's settings stay in the scratch folder, not in the user's own.
  export XDG_CONFIG_HOME=$scratch/config
  mkdir -p "$sample/photos/2024" "$XDG_CONFIG_HOME"
  printf 'Shopping list\n- bread\n- tea\n' >"$sample/notes.txt"
  printf 'name,amount\nrent,900\npower,75\n' >"$sample/budget 2024.csv"
  head -c 300000 /dev/urandom >"$sample/photos/2024/beach.jpg"
  : >"$sample/photos/empty.txt"
  local sums=$scratch/sums
  (cd "$sample" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$sums"

  echo "\$ tavro --version"
  "$tavro" --version
  echo
  echo "A sample folder:"
  (cd "$sample" && find . -type f | sort | sed 's/^/  /')
  echo
  echo "\$ tavro -E -AUTOSTART -P $password sample"
  "$tavro" -E -AUTOSTART -P "$password" "$sample"
  echo
  echo "Enciphered: every file now has a random name ending in .cpy:"
  (cd "$sample" && find . -type f | sort | sed 's/^/  /')
  if (cd "$sample" && find . -type f ! -name '*.cpy' | grep -q .); then
    echo "demo: a plain file is left after enciphering" >&2
    return 1
  fi
  echo
  echo "\$ tavro -D -P $password sample"
  "$tavro" -D -P "$password" "$sample"
  echo
  echo "Deciphered: the old names and contents are back:"
  (cd "$sample" && find . -type f | sort | sed 's/^/  /')
  echo
  if (cd "$sample" && sha256sum --quiet -c "$sums"); then
    echo "Every file matches its original (sha256)."
  else
    echo "demo: the deciphered files differ from the originals" >&2
    return 1
  fi
}

build_tavro
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavro-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
run_demo "$build/tavro" "$scratch"
