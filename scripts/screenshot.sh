#!/usr/bin/env bash
# Takes the README's screenshot: the real window under Xvfb, a differing pair chosen in the two
# lists with difference details on, after 実行. Writes docs/window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh
for package in xdotool x11-apps imagemagick; do
  dpkg -s "$package" >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package"
done
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target vemilo vemilo-make-demo >/dev/null
build/vemilo-make-demo samples >/dev/null

shots=$(mktemp -d)
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$shots"' EXIT
cp samples/folder1/5_few_frames_differ.wav "$shots/master.wav"
cp samples/folder2/5_few_frames_differ.wav "$shots/master_copy.wav"
cp samples/folder1/6_24bit.wav "$shots/session_24bit.wav"

Xvfb :99 -screen 0 900x860x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=:99
(cd "$shots" && exec "$root/build/src/ui/vemilo") >/dev/null 2>&1 &
app=$!
sleep 2
window=$(xdotool search --name "Vemilo v3" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
menu=16
xdotool mousemove $((X + 92)) $((Y + menu + 4 + 40 + 2 + 5)) click 1                # list 1, row 1
sleep 0.5
xdotool mousemove $((X + 92)) $((Y + menu + 4 + 127 + 2 + 12 + 5)) click 1          # list 2, row 2
sleep 0.5
xdotool mousemove $((X + 16 + 224 + 8)) $((Y + menu + 392 + 16 + 8)) click 1        # 相違詳細表示
sleep 0.3
xdotool mousemove $((X + 18)) $((Y + 10)) click 1                                   # 実行
sleep 2
xwd -root -silent > "$shots/screen.xwd"
mkdir -p docs
/usr/bin/convert "$shots/screen.xwd" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" docs/window.png
echo "docs/window.png written"
