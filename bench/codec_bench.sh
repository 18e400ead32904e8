#!/usr/bin/env bash
# Compares the file codec with the tools a user could use instead, on the same
# 512 MiB file in one temp folder:
#   - enciphering without overwrite passes  vs  openssl enc -cast5-ecb
#   - enciphering with the default passes   vs  the flushed floor: cp, then two
#     in-place overwrites with dd conv=notrunc,fsync
# Usage: bench/codec_bench.sh [build-dir] [MiB] [rounds]   (build-dir holds bench/codec_bench)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
mib=${2:-512}
rounds=${3:-3}
bench=$build/bench/codec_bench
[ -x "$bench" ] || { echo "no $bench (build the codec_bench target)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/codec-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 < b + 0) ? a : b }'; }
key=$(printf 'benchmark passwo' | od -An -tx1 | tr -d ' \n')
enc=1e9 dec=1e9 passes=1e9 ossl=1e9 floor=1e9

# The machine is shared: each figure is the best of a few rounds.
for round in $(seq "$rounds"); do
  # The codec (makes its own file, flushed).
  "$bench" "$work" "$mib" >"$work/codec.txt"
  enc=$(min "$enc" "$(awk '$1=="encrypt_nopass"{print $2}' "$work/codec.txt")")
  dec=$(min "$dec" "$(awk '$1=="decrypt"{print $2}' "$work/codec.txt")")
  passes=$(min "$passes" "$(awk '$1=="encrypt_passes"{print $2}' "$work/codec.txt")")

  # The same amount of data for the other tools, written and flushed the same way.
  head -c $((mib * 1048576)) /dev/urandom >"$work/f"
  sync "$work/f"

  t=$(now)
  openssl enc -cast5-ecb -provider legacy -provider default -nopad -K "$key" -in "$work/f" -out "$work/g"
  ossl=$(min "$ossl" "$(since "$t")")
  rm -f "$work/g"

  t=$(now)
  cp "$work/f" "$work/g"
  sync "$work/g"
  dd if=/dev/zero of="$work/f" bs=1M count="$mib" conv=notrunc,fsync status=none
  dd if=/dev/zero of="$work/f" bs=1M count="$mib" conv=notrunc,fsync status=none
  rm -f "$work/f"
  floor=$(min "$floor" "$(since "$t")")
  rm -f "$work/g"
done

printf 'file size                  %d MiB, best of %d rounds\n' "$mib" "$rounds"
printf 'codec encipher, no passes  %6.2f s\n' "$enc"
printf 'codec decipher             %6.2f s\n' "$dec"
printf 'openssl enc -cast5-ecb     %6.2f s   ratio openssl/codec = %.2f (goal >= 4)\n' "$ossl" "$(echo "$ossl / $enc" | bc -l)"
printf 'codec encipher, 2 passes   %6.2f s\n' "$passes"
printf 'cp + 2 x dd fsync floor    %6.2f s   ratio codec/floor = %.2f (goal <= 1.5)\n' "$floor" "$(echo "$passes / $floor" | bc -l)"
