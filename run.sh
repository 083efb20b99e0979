#!/usr/bin/env bash
# Builds Kovrel (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [ -x build/app/kovrel ]; then
  exec build/app/kovrel "$@"
else
  echo "Built. The main window is not there yet, so there is no program to start."
fi
