#!/usr/bin/env bash
# Drives vemla on a real X desktop as a user does: Xvfb with openbox, the simulated device,
# clicks and keys through xdotool. It opens the tool windows from the toolbar, minimises and
# brings them back, opens and cancels every dialog by keyboard, saves the view, switches the
# coding, closes vemla through the window manager, then kills the X server under a second vemla.
# Each step leaves a screenshot in the output folder.
# Usage: real_desktop_test.sh VEMLA DEVICE LAYOUT_PROBE SCREENSHOT EXAMPLES_DIR OUTPUT_DIR
set -uo pipefail
vemla=$1 device=$2 probe=$3 shooter=$4 examples=$5 out=$6

skip() { echo "SKIPPED: $*"; exit 77; }
for tool in Xvfb openbox xdotool xprop xwininfo; do
  command -v "$tool" >/dev/null || skip "$tool is not installed ('make deps' installs it)"
done

work=$(mktemp -d)
rm -rf "$out" && mkdir -p "$out"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

step=0
shot() {
  step=$((step + 1))
  "$shooter" "$out/$(printf '%02d' $step)-$1.png" desktop >/dev/null 2>&1 ||
    echo "(no screenshot for $1)"
}
# Says why on standard error (it may run inside a command substitution) and ends the test.
fail() {
  {
    echo "FAILED: $*"
    shot failure
    for log in "$work"/vemla*.err; do [ -f "$log" ] && { echo "--- $log"; tail -20 "$log"; }; done
  } >&2
  exit 1
}
# Polls a condition (a command) until it holds or the seconds (default 10) are up.
wait_until() {
  local seconds=10
  [[ $1 =~ ^[0-9]+$ ]] && { seconds=$1; shift; }
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.05
  done
}

# A display of our own, whichever number is free.
Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp 3>"$work/display" \
  2>"$work/xvfb.err" &
xvfb=$!
pids+=("$xvfb")
wait_until test -s "$work/display" || skip "Xvfb cannot start: $(tail -1 "$work/xvfb.err")"
export DISPLAY=":$(head -1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_until bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
  fail "openbox did not start"

"$device" "$work/port" --quiet >"$work/device.log" 2>&1 &
pids+=($!)
wait_until test -L "$work/port" || fail "the simulated device did not start"

cd "$work" || exit 1
sed -e "s#^Device=.*#Device=$work/port#" \
  -e "s#^TriggerFile=.*#TriggerFile=$examples/triggers.txt#" \
  -e "s#^Dir=.*#Dir=$work/Log#" "$examples/config.ini" >config.ini

declare -A at
while read -r name x y; do at[$name]="$x $y"; done < <("$probe" config.ini 2>/dev/null)
[ -n "${at[main.port]:-}" ] || fail "the layout probe printed no positions"

window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
wait_window() {
  local id="" deadline=$((SECONDS + 10))
  until id=$(window_of "$1") && [ -n "$id" ]; do
    ((SECONDS < deadline)) || fail "no window \"$1\""
    sleep 0.05
  done
  echo "$id"
}
gone() { [ -z "$(window_of "$1")" ]; }
# Keys and clicks go to the active window, as a user's do.
activate() {
  local window=$1
  xdotool windowactivate --sync "$window" 2>/dev/null
  wait_until 5 eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]' ||
    fail "window $window does not become active"
}
# Clicks the named place of the layout probe in the window.
click() {
  local window=$1 place=$2 count=${3:-1}
  read -r x y <<<"${at[$place]}"
  local left top
  activate "$window"
  left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print $4}')
  top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ {print $4}')
  xdotool mousemove --sync $((left + x)) $((top + y)) click --repeat "$count" --delay 80 1
}
hidden() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_HIDDEN; }
shown() { ! hidden "$1" && xwininfo -id "$1" | grep -q IsViewable; }
# A dialog opened by an action, looked at, then cancelled with a key.
dialog_cancelled() {
  local title=$1 key=$2 name=$3 id
  id=$(wait_window "$title") || exit 1
  activate "$id"
  shot "$name"
  xdotool key "$key"
  wait_until gone "$title" || fail "\"$title\" stayed open after $key"
}

QT_QPA_PLATFORM=xcb "$vemla" config.ini >"$work/vemla1.out" 2>"$work/vemla1.err" &
vemla_pid=$!
pids+=("$vemla_pid")
main=$(wait_window '^Терминал') || exit 1
wait_until 10 grep -q "answer to" "$work/device.log" || fail "vemla does not answer the device"
shot main-window

click "$main" main.generator
generator=$(wait_window '^Передача данных') || exit 1
click "$main" main.triggers
triggers=$(wait_window '^Триггеры') || exit 1
shot tool-windows

# The toolbar button brings a minimised tool window back.
for tool in generator triggers; do
  id=${!tool}
  xdotool windowminimize --sync "$id"
  wait_until hidden "$id" || fail "the $tool window did not minimise"
  shot "$tool-minimised"
  click "$main" "main.$tool"
  wait_until shown "$id" || fail "the toolbar button did not bring the minimised $tool window back"
done
shot tool-windows-restored

# Every dialog opens and Escape cancels it.
click "$main" main.port
dialog_cancelled '^Настройки порта$' Escape port-settings
click "$generator" generator.add
dialog_cancelled '^Ввод данных$' Escape packet-edit
click "$generator" generator.row0
click "$generator" generator.delete
id=$(wait_window '^Подтверждение$') || exit 1
width=$(xwininfo -id "$id" | awk '/Width:/ {print $2}')
((width >= 200)) || fail "the confirmation box is $width pixels wide, too narrow for its caption"
dialog_cancelled '^Подтверждение$' Escape delete-confirmation
# A window manager may take the first click of a double click as the one that activates.
for _ in 1 2 3; do
  click "$triggers" triggers.row0 2
  wait_until 2 eval '[ -n "$(window_of "^Изменение текущей команды")" ]' && break
done
dialog_cancelled '^Изменение текущей команды триггера$' Escape change-command

# The view saved under the text filter gets its suffix.
click "$main" main.save
id=$(wait_window '^Сохранить') || exit 1
activate "$id"
xdotool type --delay 30 view1
shot save-dialog
xdotool key Return
wait_until test -s "$work/view1.txt" || fail "the view was not saved as view1.txt"
[ ! -e "$work/view1" ] || fail "the view was saved without the .txt suffix"

# Coding Win+Hex from the coding button's menu, by keyboard.
windows() { xdotool search --onlyvisible --class vemla 2>/dev/null | wc -l; }
before=$(windows)
click "$main" main.coding_menu
wait_until 5 eval '(( $(windows) > before ))' || fail "the coding menu did not open"
xdotool key Down Down Return
shot coding-win-hex

# Closed through the window manager (Alt+F4 in openbox).
activate "$main"
xdotool key alt+F4
wait_until 10 eval '! kill -0 $vemla_pid 2>/dev/null' || fail "vemla did not close on Alt+F4"
wait "$vemla_pid"
code=$?
((code == 0)) || fail "vemla exited with $code after Alt+F4"
grep -q '^Coding=1' desktop.ini || fail "desktop.ini does not keep the Win+Hex coding"
grep -qi '^\[MainForm\]' desktop.ini || fail "desktop.ini has no main window layout"
grep -q '^Count=3' config.ini || fail "the cancelled deletion changed the packet list"
compgen -G "Log/*.log" >/dev/null || fail "no log file was written"
grep -q -- '<-t-' Log/*.log || fail "the log has no trigger answer"

# Started and closed five times, the window keeps its size; closed maximised, it comes back
# maximised, and its size before goes on being the one stored.
answers() { grep -c 'answer to' "$work/device.log"; }
stored_size() { awk -F= '/^\[MainForm\]/ {in_main=1; next} /^\[/ {in_main=0}
  in_main && /^(Width|Height)=/ {printf "%s ", $2}' desktop.ini; }
start_vemla() {
  QT_QPA_PLATFORM=xcb "$vemla" config.ini >"$work/vemla-$1.out" 2>"$work/vemla-$1.err" &
  vemla_pid=$!
  pids+=("$vemla_pid")
  main=$(wait_window '^Терминал') || exit 1
  wait_until shown "$main" || fail "vemla's window is not shown"
}
close_vemla() {
  activate "$main"
  xdotool key alt+F4
  wait_until 10 eval '! kill -0 $vemla_pid 2>/dev/null' || fail "vemla did not close on Alt+F4"
  wait "$vemla_pid" || fail "vemla exited with $? after Alt+F4"
}
maximised() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_HORZ; }
sizes=("$(stored_size)")
for round in 1 2 3 4 5; do
  start_vemla "round$round"
  if ((round == 5)); then
    # The user lets the port go for another program, and takes it back: Ctrl+Shift+O, Ctrl+O.
    wait_until 10 eval '(( $(answers) > 0 ))' || fail "vemla does not answer the device"
    activate "$main"
    xdotool key ctrl+shift+o
    missed=$(grep -c "no answer" "$work/device.log")
    wait_until 5 eval '(( $(grep -c "no answer" "$work/device.log") > missed ))' ||
      fail "the device was still answered after Ctrl+Shift+O"
    before=$(answers)
    shot port-closed-by-user
    xdotool key ctrl+o
    wait_until 10 eval '(( $(answers) > before ))' || fail "vemla did not answer again after Ctrl+O"
    # A long packet, the find bar and its hit, as the user sees them.
    xdotool key ctrl+f
    xdotool type --delay 20 "AA"
    xdotool key Return
    shot find-bar
  fi
  close_vemla
  sizes+=("$(stored_size)")
done
[ "$(printf '%s\n' "${sizes[@]}" | sort -u | wc -l)" = 1 ] ||
  fail "the window's size drifts from start to start: ${sizes[*]}"
start_vemla maximise
read -r _ frame_top _ < <(xprop -id "$main" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g' |
  awk '{print $3, $3, $4}')
left=$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print $4}')
top=$(xwininfo -id "$main" | awk '/Absolute upper-left Y/ {print $4}')
width=$(xwininfo -id "$main" | awk '/Width:/ {print $2}')
xdotool mousemove --sync $((left + width / 2)) $((top - ${frame_top:-20} / 2)) click --repeat 2 --delay 80 1
wait_until 5 maximised "$main" || fail "a double click on the title bar did not maximise vemla"
close_vemla
start_vemla maximised
wait_until 5 maximised "$main" || fail "vemla closed maximised did not come back maximised"
shot maximised-again
close_vemla
[ "$(stored_size)" = "${sizes[0]}" ] ||
  fail "closing maximised stored the maximised size: $(stored_size), not ${sizes[0]}"

# The X server dies under a running vemla: the lines it received are logged all the same.
rm -rf Log
QT_QPA_PLATFORM=xcb "$vemla" config.ini >"$work/vemla2.out" 2>"$work/vemla2.err" &
vemla_pid=$!
pids+=("$vemla_pid")
wait_window '^Терминал' >/dev/null || exit 1
before=$(grep -c 'answer to' "$work/device.log")
wait_until 10 eval '(( $(grep -c "answer to" "$work/device.log") >= before + 3 ))' ||
  fail "the second vemla does not answer the device"
shot before-the-display-is-lost
kill "$xvfb"
wait_until 10 eval '! kill -0 $vemla_pid 2>/dev/null' || fail "vemla outlived its display"
wait "$vemla_pid"
code=$?
((code < 128)) || fail "vemla died of signal $((code - 128)) when its display went away"
compgen -G "Log/*.log" >/dev/null || fail "the lines received before the display went away were not logged"
grep -q -- '<-t-' Log/*.log || fail "the log of the lost display has no trigger answer"

echo "PASSED: $step screenshots in $out"
