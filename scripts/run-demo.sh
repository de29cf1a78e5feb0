#!/usr/bin/env bash
# Starts the simulated device and vemla on it with the example configuration. Without a
# display vemla runs offscreen with --echo for a while (DEMO_SECONDS, default 15).
# DEMO=modbus plays a Modbus RTU master against examples/modbus-slave.txt instead.
# DEMO=app turns it round: vemla plays the Modbus slave on its virtual port pty:build/ttyV0,
# and the simulated device opens that port as an application under test would.
# DEMO_LANG=en runs vemla in English (--lang en).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default
link=/tmp/vemla-demo-port
device_mode=() vemla_options=() port=()
case "${DEMO:-}" in
  modbus)
    device_mode=(--modbus-master)
    vemla_options=(--triggers examples/modbus-slave.txt)
    ;;
  app)
    link=build/ttyV0
    device_mode=(--open --modbus-master)
    vemla_options=(--triggers examples/modbus-slave.txt)
    port=(-p "pty:$link")
    ;;
esac
[ -n "${DEMO_LANG:-}" ] && vemla_options+=(--lang "$DEMO_LANG")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
start_device() {
  "$build/tools/vemla-device" "$link" --quiet "${device_mode[@]}" &
  pids+=($!)
}
# The device's pty comes first, unless vemla makes the port the device opens.
if [ "${DEMO:-}" != app ]; then
  start_device
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/main_window/vemla" examples/config.ini "${port[@]}" "${vemla_options[@]}" &
  vemla=$!
else
  echo "No display: vemla runs offscreen and echoes its traffic for ${DEMO_SECONDS:-15} s (Ctrl+C stops it)."
  "$build/main_window/vemla" examples/config.ini "${port[@]}" --echo "${vemla_options[@]}" &
  vemla=$!
fi
if [ "${DEMO:-}" = app ]; then
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  start_device
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  wait $vemla || true
else
  trap 'kill -TERM $vemla 2>/dev/null || true' INT
  sleep "${DEMO_SECONDS:-15}" || true
  kill -TERM $vemla 2>/dev/null || true
  wait $vemla || true
fi
