#!/usr/bin/env bash
# Installs the Debian packages the build needs; does nothing when all are present.
set -euo pipefail
pkgs=(g++ clang libclang-rt-14-dev cmake ninja-build pkg-config ccache
      qt6-base-dev libpng-dev libgif-dev libjpeg62-turbo-dev zlib1g-dev
      libgtest-dev libbenchmark-dev
      xvfb x11-utils python3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
