#!/usr/bin/env bash
# CPU share of the host over a run with nine clients in the lobby, headless and with the status
# window under Xvfb. Needs the Release build: cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
# -DCOG_BENCH=ON -DCOG_TESTS=OFF && cmake --build build-bench
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
host=build-bench/cogwell-host
load=build-bench/load_clients

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure() {
  local label=$1; shift
  "$@" "$host" > /tmp/cogwell-measure.log 2>&1 &
  local launcher=$!
  sleep 1
  local pid
  pid=$(pgrep -n -f "$host" || true)
  [ -n "$pid" ] || { echo "host did not start"; cat /tmp/cogwell-measure.log; return 1; }
  local before after
  before=$(cpu_ticks "$pid")
  "$load" 5556 9 "$seconds"
  after=$(cpu_ticks "$pid")
  kill -TERM "$pid"; wait "$launcher" || true
  local hz; hz=$(getconf CLK_TCK)
  echo "$label: $(( after - before )) ticks in ${seconds}s = $(awk -v t=$(( after - before )) -v s="$seconds" -v hz="$hz" 'BEGIN{printf "%.1f", 100*t/hz/s}')% of one core"
}

measure "headless" env -u DISPLAY -u WAYLAND_DISPLAY
measure "window under Xvfb" xvfb-run -a -s "-screen 0 1280x720x24"
