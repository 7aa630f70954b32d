#!/usr/bin/env bash
# Takes the README's screenshot: the real window under Xvfb, a differing pair chosen in the two
# lists with difference details on, after 実行. Writes docs/window.png, or with a scale factor
# (scripts/screenshot.sh 2) docs/window@2x.png, for checking captions at twice the size.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scale=${1:-1}

scripts/install-deps.sh --tests
for package in x11-apps imagemagick; do
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

# Xvfb picks a free display and writes its number once it accepts connections.
Xvfb -displayfd 3 -screen 0 $((900 * scale))x$((860 * scale))x24 3>"$shots/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 600); do [ -s "$shots/display" ] && break; sleep 0.1; done
[ -s "$shots/display" ] || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$shots/display")
unset QT_QPA_PLATFORM
(cd "$shots" && HOME=$shots QT_SCALE_FACTOR=$scale exec "$root/build/src/ui/vemilo") >/dev/null 2>&1 &
app=$!
sleep 2
window=$(xdotool search --name "Vemilo v3" | head -1)
eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "X=" $NF} /Absolute upper-left Y/ {print "Y=" $NF}
                                     /^ *Width:/ {print "WIDTH=" $NF} /^ *Height:/ {print "HEIGHT=" $NF}')"
menu=$((HEIGHT / scale - 699))
click() { xdotool mousemove $((X + $1 * scale)) $((Y + $2 * scale)) click 1; sleep 0.5; }
click 92 $((menu + 4 + 40 + 2 + 5))          # list 1, row 1
click 92 $((menu + 4 + 127 + 2 + 12 + 5))    # list 2, row 2
click $((16 + 224 + 8)) $((menu + 400 + 16 + 8))  # 相違詳細表示
click 18 $((menu / 2))                        # 実行
sleep 1.5
xwd -root -silent >"$shots/screen.xwd"
mkdir -p docs
out=docs/window.png
[ "$scale" = 1 ] || out=docs/window@${scale}x.png
/usr/bin/convert "$shots/screen.xwd" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$out"
echo "$out written"
