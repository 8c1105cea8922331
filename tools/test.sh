#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a plain build, then a build
# with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh test
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for variant in plain sanitize; do
  dir=build-test-$variant
  flag=OFF; [ $variant = sanitize ] && flag=ON
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZX_SANITIZE=$flag >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($variant build)"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
done
