#!/usr/bin/env bash
# End to end on a real X server: the built window gets files dropped on its list through
# XDND from a drag source, as from a file manager; then the first "确定" is clicked, the
# message dismissed, the outputs checked, and the window closed with Esc.
#
#   e2e_drop.sh ZANDOLEX DRAG_SOURCE SAMPLES_DIR
# Starts its own X server (xvfb-run -a). With ZX_E2E_SCREENSHOT=FILE it also saves a picture
# of the window with the rows listed.
set -euo pipefail
zandolex=$1 drag_source=$2 samples=$3

if [ -z "${ZX_E2E_ON_XVFB:-}" ]; then
  export ZX_E2E_ON_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
fi
export QT_QPA_PLATFORM=xcb

work=$(mktemp -d)
app_pid="" source_pid=""
cleanup() {
  [ -n "$source_pid" ] && kill "$source_pid" 2>/dev/null
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1; shift
  local tries=$((seconds * 10))
  until "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# The program folder is where the binary lies: a copy of its own keeps the outputs here.
mkdir "$work/bin" "$work/pics"
cp "$zandolex" "$work/bin/zandolex"
cp "$samples/dusk.png" "$work/pics/黄昏 dusk.png"
cp "$samples/meadow.jpg" "$work/pics/meadow.jpg"
cp "$samples/mark.png" "$work/pics/mark.png"
out="$work/bin/水印生成"

# Under the sanitizers: the X platform plugin's D-Bus connection keeps an allocation for the
# life of the process, as Qt's and fontconfig's do.
if [ -n "${LSAN_OPTIONS:-}" ]; then
  base=$(printf '%s\n' "$LSAN_OPTIONS" | tr ':' '\n' | sed -n 's/^suppressions=//p' | head -1)
  { [ -n "$base" ] && cat "$base"; echo "leak:libdbus-1.so"; } >"$work/lsan.supp"
  export LSAN_OPTIONS="$LSAN_OPTIONS:suppressions=$work/lsan.supp"
fi

"$work/bin/zandolex" >"$work/app.log" 2>&1 &
app_pid=$!
wait_for 30 xdotool search --onlyvisible --name '^ZandolexV1\.0' || fail "no window"
window=$(xdotool search --onlyvisible --name '^ZandolexV1\.0' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
wx=$X wy=$Y
echo "window at $wx,$wy size ${WIDTH}x$HEIGHT"

"$drag_source" 20 20 "$work/pics/黄昏 dusk.png" "$work/pics/meadow.jpg" "$work/pics/mark.png" \
  >"$work/source.log" 2>&1 &
source_pid=$!
wait_for 30 grep -q '^ready' "$work/source.log" || fail "drag source did not start"
wait_for 10 xdotool search --onlyvisible --name '^zx drag source$' || fail "no drag source window"

# Press on the source, move onto the middle of the list in steps, release.
list_x=$((wx + 8 + 288)) list_y=$((wy + 8 + 208))
xdotool mousemove 80 80
sleep 0.3
xdotool mousedown 1
wait_for 20 grep -q '^dragging' "$work/source.log" || fail "the press started no drag"
sleep 0.3
for step in 1 2 3 4 5 6 7 8 9 10; do
  xdotool mousemove $((80 + (list_x - 80) * step / 10)) $((80 + (list_y - 80) * step / 10))
  sleep 0.1
done
sleep 0.3
xdotool mouseup 1
wait_for 20 grep -q '^dropped' "$work/source.log" || fail "the drag did not end"
grep -q '^dropped [1-4]$' "$work/source.log" || fail "the drop was refused: $(cat "$work/source.log")"

# The watermark text into 编辑框1.
xdotool mousemove $((wx + 680 + 64)) $((wy + 136 + 16)) click 1
sleep 0.3
xdotool type --delay 40 "水印 Zandolex"
sleep 0.5
if [ -n "${ZX_E2E_SCREENSHOT:-}" ]; then
  import -window root -crop "${WIDTH}x${HEIGHT}+$wx+$wy" +repage "$ZX_E2E_SCREENSHOT"
fi

# The first "确定", then the message.
xdotool mousemove $((wx + 632 + 88)) $((wy + 180 + 16)) click 1
wait_for 120 xdotool search --onlyvisible --name '^信息：$' || fail "no message after the run"
box=$(xdotool search --onlyvisible --name '^信息：$' | head -1)
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Return
wait_for 10 sh -c "! xdotool search --onlyvisible --name '^信息：\$'" || fail "message not dismissed"

# Every dropped picture has its output: PNG data under the base name with ".jpg".
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print ($1*2^24+$2*2^16+$3*2^8+$4) "x" ($5*2^24+$6*2^16+$7*2^8+$8)}'; }
for name in "黄昏 dusk" meadow mark; do
  file="$out/$name.jpg"
  [ -s "$file" ] || fail "no output $file"
  [ "$(od -An -tx1 -N8 "$file" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$file is no PNG"
done
[ "$(png_size "$out/黄昏 dusk.jpg")" = "$(png_size "$samples/dusk.png")" ] || fail "dusk size"
[ "$(png_size "$out/mark.jpg")" = "$(png_size "$samples/mark.png")" ] || fail "mark size"
[ "$(find "$out" -type f | wc -l)" -eq 3 ] || fail "unexpected files in $out: $(ls "$out")"

# Esc closes the window and the program ends normally.
xdotool mousemove "$list_x" "$list_y" click 1
xdotool key Escape
status=0
for _ in $(seq 1 200); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$app_pid" 2>/dev/null && fail "the window did not close on Esc"
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "zandolex ended with status $status: $(cat "$work/app.log")"
echo "PASS: 3 files dropped through XDND, marked and written to $out"
