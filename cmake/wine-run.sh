#!/usr/bin/env bash
# Emulator for cross-built test programs (CMAKE_CROSSCOMPILING_EMULATOR):
#   cmake/wine-run.sh program.exe [args...]
# Runs the program under the Wine session of the environment (WINEPREFIX and
# DISPLAY, normally set by scripts/wine-session.sh). Wine helper processes started
# during the run inherit whatever handles the program got and outlive it, so the
# program gets stdin from /dev/null and writes into temp files that are printed
# afterwards (with the CR of CRLF line ends removed). The exit status is the program's.
set -uo pipefail

if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-run.sh: no Wine session (WINEPREFIX and DISPLAY must be set)." >&2
  echo "  Run the command inside one, e.g.: scripts/wine-session.sh ctest --test-dir <build-dir>" >&2
  exit 125
fi
if [ ! -d "$WINEPREFIX" ]; then
  echo "wine-run.sh: WINEPREFIX '$WINEPREFIX' does not exist" >&2
  exit 125
fi
if [ $# -lt 1 ]; then
  echo "usage: $0 program.exe [args...]" >&2
  exit 2
fi

out=$(mktemp "${TMPDIR:-/tmp}/wine-run.out.XXXXXX") || exit 125
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.err.XXXXXX") || { rm -f "$out"; exit 125; }
trap 'rm -f "$out" "$err"' EXIT

# A timed-out test gets SIGTERM from ctest: pass it on to the program.
wine "$@" </dev/null >"$out" 2>"$err" &
pid=$!
trap 'kill -TERM "$pid" 2>/dev/null' TERM INT
wait "$pid"
rc=$?
if kill -0 "$pid" 2>/dev/null; then  # interrupted: wait for the program itself
  wait "$pid"
  rc=$?
fi
tr -d '\r' <"$out"
# Wine prints this one on every start; it means nothing.
tr -d '\r' <"$err" | grep -v 'Read access denied for device L"\\\\??\\\\Z:\\\\"' >&2
exit "$rc"
