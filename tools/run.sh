#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the window where there is a
# display, otherwise the headless command on the sample pictures.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/zandolex ]; then
  exec build/bin/zandolex
fi
out=build/bin/水印生成
echo "No display: marking the sample pictures with zandolex-cli"
QT_QPA_PLATFORM=offscreen build/bin/zandolex-cli --text "水印 Zandolex" samples/*
echo "Text-marked pictures are in $out:"
ls -l "$out"
