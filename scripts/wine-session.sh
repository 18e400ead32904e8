#!/usr/bin/env bash
# Runs one command inside a private, throw-away Wine session:
#   a fresh WINEPREFIX and HOME in a temp folder, its own headless X server (Xvfb),
#   a persistent wineserver for the prefix, and the registry settings that keep
#   headless runs fast and non-blocking. Everything is removed afterwards, also on
#   failure or Ctrl-C. Only the processes started here are stopped (by PID / prefix).
#
# Usage: scripts/wine-session.sh <command> [args...]
#   e.g. scripts/wine-session.sh ctest --test-dir build-win -j2 --output-on-failure
#        scripts/wine-session.sh wine build-win/Tavro.exe
# Inside the command: WINEPREFIX, HOME, DISPLAY, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES
# and TAVRO_WINE_SESSION=1 are exported; `wine`, `import -window root x.png`,
# `xdotool` and `wine reg query ...` work as usual.
# Set TAVRO_WINE_KEEP=1 to keep the temp folder (the prefix is ~700 MB) for inspection.
# The exit status is the command's.
set -uo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 <command> [args...]" >&2
  exit 2
fi

session_dir=$(mktemp -d "${TMPDIR:-/tmp}/tavro-wine.XXXXXX") || exit 1
xvfb_pid=""
wineserver_started=0

export WINEPREFIX="$session_dir/prefix"
export HOME="$session_dir/home"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export TAVRO_WINE_SESSION=1
mkdir -p "$WINEPREFIX" "$HOME"

cleanup() {
  local rc=$?
  trap - EXIT INT TERM HUP
  if [ "$wineserver_started" = 1 ]; then
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "${TAVRO_WINE_KEEP:-0}" = 1 ]; then
    echo "wine-session: kept $session_dir" >&2
  else
    rm -rf "$session_dir"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

fail() { echo "wine-session: $*" >&2; exit 1; }

# Headless X server on a free display; -displayfd writes the chosen number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
  3>"$session_dir/display" >"$session_dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$session_dir/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$session_dir/xvfb.log")"
  sleep 0.1
done
[ -s "$session_dir/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n1 "$session_dir/display" | tr -d '[:space:]')"

wineserver -p </dev/null >/dev/null 2>&1 || fail "wineserver did not start"
wineserver_started=1
if ! wine wineboot --init </dev/null >"$session_dir/wineboot.log" 2>&1; then
  cat "$session_dir/wineboot.log" >&2
  fail "wineboot --init failed"
fi

# Without a window manager every closing top-level window stalls ~2 s unless Wine
# manages its own windows; a crash must print a backtrace instead of waiting on an
# invisible dialog.
cat >"$session_dir/session.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
wine regedit /S "$(winepath -w "$session_dir/session.reg" 2>/dev/null)" </dev/null >/dev/null 2>&1 \
  || fail "could not write the session registry settings"

"$@"
