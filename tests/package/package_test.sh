#!/usr/bin/env bash
# The Linux program as installed, from a built Release folder:
# 1. `cmake --install` into a prefix puts exactly the expected files there;
# 2. `cpack -G DEB` makes a package whose dependencies dpkg-shlibdeps found and
#    that lintian passes without errors;
# 3. the package unpacked into a throw-away root (dpkg -x) runs from there:
#    --version, and a folder enciphered and deciphered back to the same bytes.
# Usage: package_test.sh <build folder> <source folder>
set -euo pipefail

build=$1
source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-parsechangelog lintian; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done

files='bin/tavro
share/bash-completion/completions/tavro
share/doc/tavro/changelog.gz
share/doc/tavro/copyright
share/man/man1/tavro.1.gz'

echo "== cmake --install"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
got=$(cd "$work/prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)
[ "$got" = "$files" ] || fail "installed files:"$'\n'"$got"$'\n'"expected:"$'\n'"$files"
[ -x "$work/prefix/bin/tavro" ] || fail "bin/tavro is not executable"
zcat "$work/prefix/share/man/man1/tavro.1.gz" | cmp -s - "$source/dist/linux/tavro.1" || fail "manual page differs from dist/linux/tavro.1"
cmp -s "$work/prefix/share/bash-completion/completions/tavro" "$source/dist/linux/tavro.bash" || fail "completion differs"

echo "== cpack -G DEB"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/deb/tavro_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "no single package in $work/deb"
deb=${debs[0]}
echo "package: $(basename "$deb")"
version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(dpkg-parsechangelog -l "$source/dist/linux/changelog" -S Version)
[ "$version" = "$changelog_version" ] || fail "package version $version, dist/linux/changelog names $changelog_version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *"libc6 (>="* && $depends == *"libstdc++6 (>="* ]] || fail "dependencies not from dpkg-shlibdeps"
listing=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|^\./usr/\(.*[^/]\)$|\1|p' | LC_ALL=C sort)
[ "$listing" = "$files" ] || fail "package files:"$'\n'"$listing"

echo "== lintian"
# Errors fail; warnings and notes are shown. (As root lintian says it would rather not be.)
status=0
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$status" = 0 ] || fail "lintian reports errors (status $status)"

echo "== dpkg -x, then run the installed program"
root=$work/root
dpkg -x "$deb" "$root"
tavro=$root/usr/bin/tavro
export XDG_CONFIG_HOME=$work/config
[ "$("$tavro" --version)" = "$("$build/tavro" --version)" ] || fail "installed --version: $("$tavro" --version)"
"$tavro" --help | grep -q '^Usage: tavro' || fail "installed --help"

data=$work/data
mkdir -p "$data/sub"
printf 'plain text\n' >"$data/a.txt"
: >"$data/empty"
head -c 300007 /dev/urandom >"$data/sub/with space.bin"
cp -a "$data" "$work/copy"
"$tavro" -E -AUTOSTART -P 'pass word' "$data" >"$work/encipher.log" || { cat "$work/encipher.log"; fail "enciphering"; }
names=$(find "$data" -type f -printf '%f\n')
[ "$(grep -c -E '^[A-Za-z0-9]{13}\.cpy$' <<<"$names")" = 3 ] || fail "after enciphering:"$'\n'"$names"
"$tavro" -D -P 'pass word' "$data" >"$work/decipher.log" || { cat "$work/decipher.log"; fail "deciphering"; }
diff -r "$work/copy" "$data" || fail "the round trip changed the files"
echo "package test passed"
