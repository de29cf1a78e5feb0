#!/usr/bin/env bash
# Starts the simulated device and vemla on it with the example configuration. Without a
# display vemla runs offscreen with --echo for a while (DEMO_SECONDS, default 15).
# DEMO=modbus plays a Modbus RTU master against examples/modbus-slave.txt instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default
link=/tmp/vemla-demo-port
device_mode=() vemla_options=()
if [ "${DEMO:-}" = modbus ]; then
  device_mode=(--modbus-master --start-after 1)
  vemla_options=(--triggers examples/modbus-slave.txt)
fi
"$build/tools/vemla-device" "$link" --quiet "${device_mode[@]}" &
device=$!
trap 'kill $device 2>/dev/null || true; wait $device 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/main_window/vemla" examples/config.ini "${vemla_options[@]}"
else
  echo "No display: vemla runs offscreen and echoes its traffic for ${DEMO_SECONDS:-15} s (Ctrl+C stops it)."
  "$build/main_window/vemla" examples/config.ini --echo "${vemla_options[@]}" &
  vemla=$!
  trap 'kill -TERM $vemla 2>/dev/null || true' INT
  sleep "${DEMO_SECONDS:-15}" || true
  kill -TERM $vemla 2>/dev/null || true
  wait $vemla || true
fi
