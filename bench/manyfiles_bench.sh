#!/usr/bin/env bash
# Many small files: `tavro` against the floor of the durable work it has to do
# (bench/manyfiles_floor_posix.cpp), in the same run, on the same file system:
#   - 2000 files of 4 KiB in one folder, and 200 files of 256 KiB in another;
#   - `tavro -E` with the default passes (zeros, then random bytes), `tavro -E`
#     with the passes off, and `tavro -D`, each against its floor.
# Prints the best of several rounds for each, and each ratio tavro/floor (goal:
# at most 1.3). Every run starts from files that are on the disk already.
# Then the time from the start of `tavro -E` to its first file, for 20,000
# files in 200 folders (the walk, the counting and the start of the work).
# Usage: bench/manyfiles_bench.sh [build-dir] [rounds] [folder]
#   build-dir holds tavro and bench/manyfiles_floor_posix (default: <repo>/out/release);
#   folder is where the temporary files go (default: $TMPDIR or /tmp).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/out/release}
rounds=${2:-5}
base=${3:-${TMPDIR:-/tmp}}
tavro=$build/tavro
floor=$build/bench/manyfiles_floor_posix
for p in "$tavro" "$floor"; do
  [ -x "$p" ] || { echo "no $p (build the tavro and manyfiles_floor_posix targets)" >&2; exit 1; }
done

work=$(mktemp -d "$base/manyfiles-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# tavro's settings and its wipe journal live here, beside the files.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
printf 'many files benchmark\n' >"$work/password"
journal=$work/floor-journal.txt

now() { date +%s.%N; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 < b + 0) ? a : b }'; }

tavro_set() { "$tavro" "${@/#/--set=}" >/dev/null; }
# The read-back check, where this tavro has one, has a benchmark of its own.
if "$tavro" --settings 2>/dev/null | grep -q '^Verify='; then tavro_set Verify=0; fi

# make <folder> <count> <bytes>: fresh random files, flushed.
make_files() {
  rm -rf "$1"
  mkdir -p "$1"
  head -c $(($2 * $3)) /dev/urandom | (cd "$1" && split -a 5 -d -b "$3" - f)
  sync -f "$1"
}

# timed <command...>: seconds taken, printed; fails the benchmark if the command fails.
timed() {
  local t
  sync -f "$work"
  t=$(now)
  "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; echo "failed: $*" >&2; exit 1; }
  echo "$(now) - $t" | bc -l
}

declare -A best
note() { best[$1]=$(min "${best[$1]:-1e9}" "$2"); }

# tavro and the floor take turns step by step, each on its own folder, so
# that both sides of a ratio meet the same moment of a shared machine.
for round in $(seq "$rounds"); do
  for set in small:2000:4096 large:200:262144; do
    IFS=: read -r name count bytes <<<"$set"
    t=$work/$name-tavro f=$work/$name-floor
    make_files "$t" "$count" "$bytes"
    make_files "$f" "$count" "$bytes"

    tavro_set Zero=1 Rand=1
    note "$name.tavro.passes" "$(timed "$tavro" -E -AUTOSTART --password-file "$work/password" "$t")"
    note "$name.floor.passes" "$(timed "$floor" encipher-passes "$f" "$journal")"
    note "$name.tavro.decipher" "$(timed "$tavro" -D --password-file "$work/password" "$t")"
    note "$name.floor.decipher" "$(timed "$floor" decipher "$f" "$journal")"
    tavro_set Zero=0 Rand=0
    note "$name.tavro.nopass" "$(timed "$tavro" -E -AUTOSTART --password-file "$work/password" "$t")"
    note "$name.floor.nopass" "$(timed "$floor" encipher "$f" "$journal")"
    note "$name.tavro.decipher" "$(timed "$tavro" -D --password-file "$work/password" "$t")"
    note "$name.floor.decipher" "$(timed "$floor" decipher "$f" "$journal")"
    [ "$(find "$t" -type f | wc -l)" = "$count" ] || { echo "tavro left $t incomplete" >&2; exit 1; }
    rm -rf "$t" "$f" "$journal"
  done
  echo "round $round of $rounds done" >&2
done

printf 'best of %d rounds, %s (%s)\n' "$rounds" "$(df -T "$work" | awk 'NR==2 {print $2}')" "$work"
printf '%-34s %9s %9s %7s\n' "" "tavro" "floor" "ratio"
worst=0
for set in small:"2000 x 4 KiB" large:"200 x 256 KiB"; do
  name=${set%%:*}
  label=${set#*:}
  for step in passes:"-E, zeros + random" nopass:"-E, passes off" decipher:"-D"; do
    s=${step%%:*}
    t=${best[$name.tavro.$s]}
    f=${best[$name.floor.$s]}
    r=$(echo "$t / $f" | bc -l)
    worst=$(awk -v a="$worst" -v b="$r" 'BEGIN { print (b > a) ? b : a }')
    printf '%-34s %8.2fs %8.2fs %7.2f\n' "$label ${step#*:}" "$t" "$f" "$r"
  done
done
printf 'worst ratio %.2f (goal <= 1.3)\n' "$worst"

# From the start to the first file: 20,000 empty files in 200 folders, the
# files as --verbose names them; the job is stopped (Ctrl-C) right after.
tree=$work/tree
for i in $(seq -w 0 199); do
  mkdir -p "$tree/d$i"
  (cd "$tree/d$i" && touch $(seq -f 'f%03g.txt' 0 99))
done
sync -f "$tree"
tavro_set Zero=1 Rand=1
first=1e9
for round in $(seq "$rounds"); do
  exec 3< <(echo "start $(now) $BASHPID"
            exec "$tavro" -E -AUTOSTART --verbose --password-file "$work/password" "$tree" 2>/dev/null)
  read -r _ t pid <&3
  while IFS= read -r line <&3; do
    if [ "${line#> }" != "$line" ]; then
      first=$(min "$first" "$(echo "$(now) - $t" | bc -l)")
      kill -INT "$pid" 2>/dev/null || true
      break
    fi
  done
  cat <&3 >/dev/null
  exec 3<&-
done
printf '20,000 files in 200 folders: %.3f s from the start of tavro -E to its first file (best of %d)\n' "$first" "$rounds"
