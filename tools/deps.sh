#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing, for building (`build`) or also for the
# tests (`test`). Works as root, or as a normal user through sudo.
set -euo pipefail
what=${1:-build}
pkgs=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-image-formats-plugins qt6-qpa-plugins
      libdeflate-dev fonts-noto-cjk)
if [ "$what" = test ]; then
  pkgs+=(libgtest-dev libgmock-dev xvfb xauth xdotool)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
