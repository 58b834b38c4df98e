#!/bin/sh
# Builds and runs the exhaustive f32 text check: every finite float with |x| < LIMIT (default 1e9).
# Usage: scripts/f32_sweep.sh [threads] [limit]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${TMPDIR:-/tmp}/cog_f32_sweep
g++ -std=c++20 -O2 -Wall -Wextra -pthread -I"$root" "$root/tools/f32_sweep/f32_sweep.cpp" -o "$out"
exec "$out" "${1:-2}" "${2:-1e9}"
