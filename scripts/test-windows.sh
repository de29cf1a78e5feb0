#!/usr/bin/env bash
# Builds the core for Windows with MinGW-w64 and runs its tests under Wine. The test plays the
# device on a second COM port: socat joins two pseudo-terminals, and Wine maps one to COM5
# (vemla's port) and the other to COM6 (the device's).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export PATH="/usr/lib/wine:$PATH" # Debian puts wine64 and wineserver here
links="$PWD/build/mingw-ports"

cmake --preset mingw
cmake --build --preset mingw

mkdir -p "$links"
mkdir -p "$WINEPREFIX"
# A persistent server (one that runs already says so and stays): each test program starts faster.
wineserver -p 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once)"
  wine64 wineboot -i >"$WINEPREFIX.log" 2>&1 || true
  # A test program that crashes ends with its failure, instead of waiting for a debugger.
  wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f \
    >>"$WINEPREFIX.log" 2>&1 || true
fi

# Wine's background services start here, not under ctest: started by the first test program
# they would inherit ctest's output pipe and keep it open until its time-out.
wine64 wineboot >>"$WINEPREFIX.log" 2>&1 </dev/null || true

socat "pty,raw,echo=0,link=$links/com5" "pty,raw,echo=0,link=$links/com6" &
relay=$!
trap 'kill $relay 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$links/com5" ] && [ -L "$links/com6" ] && break; sleep 0.1; done
mkdir -p "$WINEPREFIX/dosdevices"
ln -sfn "$(readlink -f "$links/com5")" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$(readlink -f "$links/com6")" "$WINEPREFIX/dosdevices/com6"

# One COM port pair for all: the tests run one after another.
status=0
ctest --test-dir build/mingw --output-on-failure -j1 --timeout 300 "$@" || status=$?
# What Wine cannot do is skipped with the reason; say which.
grep -h -A1 "^\[  SKIPPED \]\|Skipped$" build/mingw/Testing/Temporary/LastTest.log 2>/dev/null |
  grep -v "^--$" || true
exit $status
