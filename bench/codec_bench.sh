#!/usr/bin/env bash
# Compares the file codec with the tools a user could use instead, on the same
# 512 MiB file in one temp folder:
#   - enciphering without overwrite passes  vs  openssl enc -cast5-ecb
#   - enciphering with the default passes   vs  the flushed floor: cp, then two
#     in-place overwrites with dd conv=notrunc,fsync
# Usage: bench/codec_bench.sh [build-dir] [MiB]   (build-dir holds bench/codec_bench)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
mib=${2:-512}
bench=$build/bench/codec_bench
[ -x "$bench" ] || { echo "no $bench (build the codec_bench target)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/codec-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
since() { echo "$(now) - $1" | bc -l; }

# The codec (makes its own file).
"$bench" "$work" "$mib" >"$work/codec.txt"
enc=$(awk '$1=="encrypt_nopass"{print $2}' "$work/codec.txt")
dec=$(awk '$1=="decrypt"{print $2}' "$work/codec.txt")
passes=$(awk '$1=="encrypt_passes"{print $2}' "$work/codec.txt")

# The same amount of data for the other tools, written and flushed the same way.
head -c $((mib * 1048576)) /dev/urandom >"$work/f"
sync "$work/f"

key=$(printf 'benchmark passwo' | od -An -tx1 | tr -d ' \n')
t=$(now)
openssl enc -cast5-ecb -provider legacy -provider default -nopad -K "$key" -in "$work/f" -out "$work/g"
ossl=$(since "$t")
rm -f "$work/g"

t=$(now)
cp "$work/f" "$work/g"
sync "$work/g"
dd if=/dev/zero of="$work/f" bs=1M count="$mib" conv=notrunc,fsync status=none
dd if=/dev/zero of="$work/f" bs=1M count="$mib" conv=notrunc,fsync status=none
rm -f "$work/f"
floor=$(since "$t")

printf 'file size                  %d MiB\n' "$mib"
printf 'codec encipher, no passes  %6.2f s\n' "$enc"
printf 'codec decipher             %6.2f s\n' "$dec"
printf 'openssl enc -cast5-ecb     %6.2f s   ratio openssl/codec = %.2f (goal >= 4)\n' "$ossl" "$(echo "$ossl / $enc" | bc -l)"
printf 'codec encipher, 2 passes   %6.2f s\n' "$passes"
printf 'cp + 2 x dd fsync floor    %6.2f s   ratio codec/floor = %.2f (goal <= 1.5)\n' "$floor" "$(echo "$passes / $floor" | bc -l)"
