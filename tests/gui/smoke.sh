#!/usr/bin/env bash
# ctest entry of the GUI smoke test: runs the Windows driver under Wine and takes
# screenshots of the Xvfb display while the driver holds the dialog open.
# Usage: smoke.sh <wine-run.sh> <gui_smoke_driver.exe> <Tavro.exe> <screenshot folder>
set -uo pipefail
wine_run=$1 driver=$2 program=$3 shots=$4

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "smoke.sh: no Wine session; run ctest inside scripts/wine-session.sh" >&2
  exit 125
fi
mkdir -p "$shots"
handshake=$(mktemp -d "${TMPDIR:-/tmp}/tavro-smoke.XXXXXX") || exit 1
trap 'rm -rf "$handshake"' EXIT

winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }

"$wine_run" "$driver" "$(winpath "$program")" "$(winpath "$handshake")" &
driver_pid=$!

for _ in $(seq 1 600); do
  [ -f "$handshake/ready" ] && break
  kill -0 "$driver_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -f "$handshake/ready" ]; then
  read -r x y w h <"$handshake/ready"
  import -window root "$shots/main_dialog_screen.png" \
    && convert "$shots/main_dialog_screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$shots/main_dialog.png" \
    && echo "screenshots: $shots/main_dialog.png, $shots/main_dialog_screen.png"
  shot_rc=$?
  touch "$handshake/go"
else
  shot_rc=0
fi
wait "$driver_pid"
rc=$?
if [ "$rc" = 0 ] && [ "$shot_rc" != 0 ]; then
  echo "smoke.sh: screenshot failed" >&2
  rc=1
fi
exit "$rc"
