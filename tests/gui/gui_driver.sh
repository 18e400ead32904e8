#!/usr/bin/env bash
# ctest entry of the GUI driver: runs the Windows driver under Wine and takes the
# screenshots it asks for. For each <name>.req ("left top width height") that the
# driver writes into the handshake folder, the whole Xvfb screen is saved and the
# window is cut out of it as <shots>/<name>.png; then <name>.done tells the driver
# to go on.
# Usage: gui_driver.sh <wine-run.sh> <gui_driver.exe> <Tavro.exe> <screenshot folder>
#                      <language files folder> [gtest flags]
set -uo pipefail
wine_run=$1 driver=$2 program=$3 shots=$4 languages=$5
shift 5

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "gui_driver.sh: no Wine session; run ctest inside scripts/wine-session.sh" >&2
  exit 125
fi
mkdir -p "$shots"
handshake=$(mktemp -d "${TMPDIR:-/tmp}/tavro-gui.XXXXXX") || exit 1
trap 'rm -rf "$handshake"' EXIT

winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }

"$wine_run" "$driver" "$@" "$(winpath "$program")" "$(winpath "$handshake")" "$(winpath "$languages")" &
driver_pid=$!
# A timed-out test gets SIGTERM from ctest: pass it on to the driver.
trap 'kill -TERM "$driver_pid" 2>/dev/null' TERM INT

while kill -0 "$driver_pid" 2>/dev/null; do
  for request in "$handshake"/*.req; do
    [ -f "$request" ] || continue
    name=$(basename "$request" .req)
    read -r x y w h <"$request"
    if import -window root "$handshake/screen.png" 2>/dev/null; then
      convert "$handshake/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$shots/$name.png" \
        && echo "screenshot: $shots/$name.png"
    else
      echo "gui_driver.sh: screenshot $name failed" >&2
    fi
    rm -f "$request"
    touch "$handshake/$name.done"
  done
  sleep 0.05
done
wait "$driver_pid"
