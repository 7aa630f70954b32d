#!/usr/bin/env bash
# Drives the real window under Xvfb with the openbox window manager, for what the offscreen tests
# cannot see: the outer frame and the saved position, the title the window system shows, files
# dragged from another program, activation moving away, closing during a run, files given at start.
#   real_window_test.sh VEMILO DRAG_SOURCE MAKE_DEMO
set -uo pipefail
vemilo=$1 drag_source=$2 make_demo=$3

work=$(mktemp -d)
failures=0
pids=()
cleanup() {
  # TERM first, so that Xvfb removes its lock and socket; then nothing may outlive the test.
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for _ in $(seq 20); do
    local alive=0
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ "$alive" = 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # description, then a command that must succeed
  local description=$1
  shift
  if "$@"; then echo "ok: $description"; else echo "FAILED: $description"; failures=$((failures + 1)); fi
}

# Ends the test at once when what every later step needs is missing, with the logs that tell why,
# rather than letting each step wait for it in turn.
give_up() {  # reason, then logs to show
  echo "real window: $1"
  shift
  local log
  for log in "$@"; do
    echo "--- ${log##*/}:"
    tail -n 20 "$log" 2>/dev/null
  done
  exit 1
}

# Xvfb chooses a free display itself and writes its number only once it accepts connections: no
# guessing from lock files, which another server (or one killed earlier) may leave or hide.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids+=($xvfb)
for _ in $(seq 600); do  # a cold machine first loads Xvfb's GL libraries from disk
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
[ -s "$work/display" ] || give_up "Xvfb did not start within 60 s" "$work/xvfb.log"
export DISPLAY=:$(head -n 1 "$work/display")

# The window manager may be slow to come up on a busy machine, or fail once; without it there is
# no frame, no window list and no activation to test.
window_manager_up() {
  local attempt
  for attempt in 1 2 3; do
    openbox --sm-disable >>"$work/openbox.log" 2>&1 &
    local manager=$!
    pids+=($manager)
    for _ in $(seq 200); do
      wmctrl -m >/dev/null 2>&1 && wmctrl -l >/dev/null 2>&1 && return 0
      kill -0 "$manager" 2>/dev/null || break
      sleep 0.1
    done
    kill "$manager" 2>/dev/null
  done
  return 1
}
window_manager_up || give_up "openbox did not manage the display $DISPLAY" "$work/openbox.log" "$work/xvfb.log"

# The real window, not the offscreen platform; settings beside a copy of the program, and the
# user's configuration inside the work folder.
unset QT_QPA_PLATFORM
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$work/app" "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$vemilo" "$work/app/vemilo"
"$make_demo" "$work/demo" >/dev/null

# No call to the window system may hang the test: a refused activation would wait forever.
xdo() { timeout 5 xdotool "$@"; }

app=0 window=0
start_app() {  # folder to start in, then arguments; QT_SCALE_FACTOR passes through
  local folder=$1
  shift
  (cd "$folder" && exec "$work/app/vemilo" "$@") >"$work/out.log" 2>"$work/err.log" &
  await_window $!
}

await_window() {  # the started program's pid: sets app and window once the window shows
  app=$1
  pids+=($app)
  window=0
  for _ in $(seq 300); do
    window=$(wmctrl -lp 2>/dev/null | awk -v pid="$app" '$3 == pid && $0 ~ /Vemilo v3/ {print $1; exit}')
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || give_up "the window did not appear within 30 s" "$work/err.log" "$work/openbox.log"
  sleep 0.5  # settled in its frame
}

# Sets client_x, client_y, width, height, frame_x, frame_y, menu_height of the main window.
measure() {
  eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "client_x=" $NF} /Absolute upper-left Y/ {print "client_y=" $NF}
                                      /^ *Width:/ {print "width=" $NF} /^ *Height:/ {print "height=" $NF}')"
  local extents
  extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  read -r frame_left _ frame_top _ <<<"$extents"
  frame_x=$((client_x - frame_left))
  frame_y=$((client_y - frame_top))
  menu_height=$((height - 686))
}

close_app() {  # closes the window and waits for the program to end; sets closed_in (ms)
  local start
  start=$(date +%s%N)
  wmctrl -i -c "$window"
  for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.05; done
  closed_in=$((($(date +%s%N) - start) / 1000000))
  # A program still there after five seconds (a message box left open, say) is not waited for.
  kill -0 "$app" 2>/dev/null && kill -9 "$app"
  wait "$app" 2>/dev/null
}

message_boxes() { wmctrl -l 2>/dev/null | awk '{ $1 = $2 = $3 = ""; sub(/^ +/, ""); print }' | grep -cx "Vemilo"; }
setting() { sed -n "s/^$1=//p" "$work/app/vemilo3.ini"; }

# 1. Position, title, size: a start and a close leave Top and Left as they were.
printf '[position]\nTop=200\nLeft=300\n' >"$work/app/vemilo3.ini"
for round in 1 2; do
  start_app "$work/demo/folder1"
  measure
  check "start $round: the outer frame stands at the saved corner (got $frame_x,$frame_y)" test "$frame_x,$frame_y" = "300,200"
  if [ "$round" = 1 ]; then
    check "the title reads exactly 'Vemilo v3.00β1'" test "$(LC_ALL=C.UTF-8 xprop -id "$window" _NET_WM_NAME | cut -d'"' -f2)" = "Vemilo v3.00β1"
    check "the window opens at its designed inside width (got $width)" test "$width" = 442
    check "below the menu bar the inside is 686 high (menu $menu_height)" test "$menu_height" -ge 15 -a "$menu_height" -le 40
  fi
  close_app
  check "close $round: Top and Left stay 200 and 300" test "$(setting Top),$(setting Left)" = "200,300"
done
printf '[position]\nTop=-500\nLeft=5000\n' >"$work/app/vemilo3.ini"
start_app "$work/demo/folder1"
measure
check "a saved position off every screen is pulled back onto it (got $frame_x,$frame_y)" \
  test "$frame_x" -ge 0 -a "$frame_y" -ge 0 -a $((frame_x + width)) -le 1280
close_app

# 2. Files dragged from another program onto the log pane and onto a number box open the
#    "ファイル1"/"ファイル2" menu; nothing is pasted, and no conversion error is raised.
rm -f "$work/app/vemilo3.ini"
start_app "$work/demo/folder1"
measure
"$drag_source" "$work/demo/folder2/3_lead_in.wav" >/dev/null 2>&1 &
pids+=($!)
source_pid=$!
for _ in $(seq 50); do
  source_window=$(wmctrl -lp 2>/dev/null | awk -v pid="$source_pid" '$3 == pid {print $1; exit}')
  [ -n "$source_window" ] && break
  sleep 0.1
done
[ -n "$source_window" ] || give_up "the drag source's window did not appear within 5 s"
sleep 0.5
eval "$(xwininfo -id "$source_window" | awk '/Absolute upper-left X/ {print "source_x=" $NF} /Absolute upper-left Y/ {print "source_y=" $NF}')"
drag_to() {  # x y: drags the file from the source window to a point of the screen, and drops it
  xdo mousemove $((source_x + 60)) $((source_y + 60)) mousedown 1
  sleep 0.3
  local step
  for step in 1 2 3 4 5 6 7 8; do
    xdo mousemove $((source_x + 60 + ($1 - source_x - 60) * step / 8)) $((source_y + 60 + ($2 - source_y - 60) * step / 8))
    sleep 0.1
  done
  sleep 0.4
  xdo mouseup 1
  sleep 0.8
}
xdo windowactivate --sync "$window" >/dev/null 2>&1
drag_to $((client_x + 200)) $((client_y + menu_height + 481 + 60))           # the log pane
xdo key Down Return                                                       # "ファイル1"
sleep 0.8
drag_to $((client_x + 16 + 120 + 15)) $((client_y + menu_height + 392 + 49 + 10))  # the match length box
xdo key Down Down Return                                                  # "ファイル2"
sleep 0.8
check "no error box after the drops" test "$(message_boxes)" = 0
close_app
check "both drops named a file through the menu (two header walks)" test "$(grep -c '^chunk: data' "$work/out.log")" = 2
check "the number box kept its number" test "$(sed -n 's/^icchi_sample=//p' "$work/app/vemilo3.ini")" = 200

# 3. Leaving a number box empty asks for a number only when the focus moves to another control of
#    the window: not when the window loses activation, not when the フォルダ menu opens.
start_app "$work/demo/folder1"
measure
xdo windowactivate --sync "$window" >/dev/null 2>&1
xdo mousemove $((client_x + 16 + 120 + 15)) $((client_y + menu_height + 392 + 49 + 10)) click 1
sleep 0.3
xdo key ctrl+a BackSpace
sleep 0.3
xdo windowactivate --sync "$source_window" >/dev/null 2>&1
sleep 0.8
check "no message when the window loses activation" test "$(message_boxes)" = 0
xdo windowactivate --sync "$window" >/dev/null 2>&1
sleep 0.5
xdo mousemove $((client_x + 50)) $((client_y + menu_height / 2)) click 1  # フォルダ
sleep 0.8
check "no message when the フォルダ menu opens" test "$(message_boxes)" = 0
xdo key Escape
sleep 0.3
xdo key Escape
sleep 0.3
xdo mousemove $((client_x + 16 + 120 + 15)) $((client_y + menu_height + 392 + 49 + 10)) click 1
sleep 0.3
xdo key Tab
sleep 0.8
check "one message when the focus moves on to another control" test "$(message_boxes)" = 1
box=$(wmctrl -l | awk '{ id = $1; $1 = $2 = $3 = ""; sub(/^ +/, ""); if ($0 == "Vemilo") print id }' | head -1)
eval "$(xwininfo -id "$box" | awk '/Absolute upper-left X/ {print "box_x=" $NF} /Absolute upper-left Y/ {print "box_y=" $NF}
                                   /^ *Width:/ {print "box_width=" $NF} /^ *Height:/ {print "box_height=" $NF}')"
centre_x=$((box_x + box_width / 2)) centre_y=$((box_y + box_height / 2))
check "the message box stands in the middle of the screen (its centre at $centre_x,$centre_y)" \
  test $((centre_x - 640)) -ge -30 -a $((centre_x - 640)) -le 30 -a $((centre_y - 512)) -ge -40 -a $((centre_y - 512)) -le 40
xdo key Return
sleep 0.5
close_app
kill "$source_pid" 2>/dev/null

# 4. Files given at start are chosen as drops would be; closing during a long run ends the program
#    within a second. Two sparse RF64 files of 16 GiB, sound at both ends, silence between.
python3 - "$work" <<'PY'
import os, struct, sys
work = sys.argv[1]
data = 16 << 30
header = (b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE' + b'ds64' + struct.pack('<I', 28)
          + struct.pack('<QQQI', data + 72, data, data // 4, 0)
          + b'fmt ' + struct.pack('<I', 16) + struct.pack('<HHIIHH', 1, 2, 44100, 176400, 4, 16)
          + b'data' + struct.pack('<I', 0xFFFFFFFF))
for name in ('big1.wav', 'big2.wav'):
    with open(f'{work}/{name}', 'wb') as out:
        out.write(header + b'\x01\x02\x03\x04')
        out.seek(80 + data - 4)
        out.write(b'\x05\x06\x07\x08')
PY
rm -f "$work/app/vemilo3.ini"
start_app "$work" big1.wav big2.wav
measure
xdo windowactivate --sync "$window" >/dev/null 2>&1
xdo mousemove $((client_x + 15)) $((client_y + menu_height / 2)) click 1  # 実行
sleep 1.5
check "the run was still going when the window was closed" kill -0 "$app"
close_app
check "closing during a run ends the program within a second (took ${closed_in} ms)" test "$closed_in" -le 1000
check "both files given at start were walked" test "$(grep -c '^chunk: data' "$work/out.log")" = 2

# 5. By keyboard alone: Tab leaves the log pane for the first folder button and Space opens the
#    folder picker; closing the window with the picker open ends the program.
start_app "$work/demo/folder1"
measure
xdo windowactivate --sync "$window" >/dev/null 2>&1
xdo mousemove $((client_x + 200)) $((client_y + menu_height + 481 + 60)) click 1  # the log pane
sleep 0.3
xdo key Tab space
sleep 1.5
picker=$(wmctrl -lp 2>/dev/null | awk -v pid="$app" '$3 == pid && $0 !~ /Vemilo v3/ {print $1; exit}')
check "Tab leaves the log for the folder button, and Space opens the folder picker" test -n "$picker"
close_app
check "closing the window with the picker open ends the program (took ${closed_in} ms)" test "$closed_in" -le 2000

# 6. F5 runs from the keyboard (with no file chosen, Run says so); Enter in a path field chooses
#    the typed file, and a missing one is named in a message box.
start_app "$work/demo/folder1"
measure
xdo windowactivate --sync "$window" >/dev/null 2>&1
xdo key F5
sleep 1
check "F5 runs: a message box asks for file 1" test "$(message_boxes)" = 1
xdo key Return
sleep 0.5
xdo windowactivate --sync "$window" >/dev/null 2>&1
xdo mousemove $((client_x + 180)) $((client_y + menu_height + 227)) click 1  # the ファイル1 field
sleep 0.3
xdo type --delay 5 "$work/nowhere.wav"
xdo key Return
sleep 1
check "Enter in the path field names a missing file in a message box" test "$(message_boxes)" = 1
xdo key Return
sleep 0.5
close_app

# 7. At scale 2 on this 1280 x 1024 screen the designed window does not fit: it opens wholly on
#    the screen, its log and status bar included.
rm -f "$work/app/vemilo3.ini"
QT_SCALE_FACTOR=2 start_app "$work/demo/folder1"
measure
check "at scale 2 the window ends above the screen's bottom (client ${client_y}+${height})" \
  test $((client_y + height)) -le 1024
close_app

# 8. A second user: an installed copy (in a prefix's bin beside share/applications) never writes
#    beside itself; each user's start reads what that user's last close wrote. A file the user
#    may not read is named in a message box when given at start.
if command -v setpriv >/dev/null && [ "$(id -u)" = 0 ]; then
  mkdir -p "$work/prefix/bin" "$work/prefix/share/applications" "$work/other/.config" "$work/other-runtime"
  cp "$work/app/vemilo" "$work/prefix/bin/vemilo"
  touch "$work/prefix/share/applications/vemilo.desktop"
  chmod 755 "$work" "$work/demo" "$work/demo/folder1"
  chown -R nobody "$work/other" "$work/other-runtime"
  chmod 700 "$work/other-runtime"
  cp "$work/demo/folder1/1_identical.wav" "$work/locked.wav"
  chmod 600 "$work/locked.wav"  # root's: nobody may not read it
  as_other() {  # folder, then arguments: the installed program as nobody, with a pid wmctrl knows
    local folder=$1
    shift
    (cd "$folder" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env HOME="$work/other" XDG_CONFIG_HOME="$work/other/.config" XDG_RUNTIME_DIR="$work/other-runtime" \
      "$work/prefix/bin/vemilo" "$@") >"$work/out.log" 2>"$work/err.log" &
    await_window $!
  }
  as_other "$work/demo/folder1"
  xdo windowmove "$window" 150 120
  sleep 0.8
  close_app
  check "an installed copy never writes beside itself" test ! -e "$work/prefix/bin/vemilo3.ini"
  check "nobody's close wrote nobody's own file" test -s "$work/other/.config/vemilo/vemilo3.ini"
  saved_top=$(sed -n 's/^Top=//p' "$work/other/.config/vemilo/vemilo3.ini")
  saved_left=$(sed -n 's/^Left=//p' "$work/other/.config/vemilo/vemilo3.ini")
  as_other "$work/demo/folder1"
  measure
  check "nobody's next start reads that file (frame at $frame_x,$frame_y, saved $saved_left,$saved_top)" \
    test "$frame_x,$frame_y" = "$saved_left,$saved_top"
  close_app
  as_other "$work/demo/folder1" "$work/locked.wav"
  sleep 1
  check "a file the user may not read is named in a message box" test "$(message_boxes)" = 1
  xdo key Return
  sleep 0.5
  close_app
else
  echo "SKIP: the second user's checks need root and setpriv"
fi

echo "real window: $failures failed"
[ "$failures" = 0 ]
