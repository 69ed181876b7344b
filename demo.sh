#!/usr/bin/env bash
# Builds the drivers and shows them working through unixODBC.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTV_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
ls -l build/lib/telvarinu.so build/lib/telvarin.so
