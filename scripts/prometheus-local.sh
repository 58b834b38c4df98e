#!/usr/bin/env bash
# Plays a short game on a local Release host while Debian's Prometheus scrapes it every second,
# then asks Prometheus' HTTP API what it saw: players, the frame-time p99, pictures and bytes per
# player. Print beside them what the load tool measured from the clients' side, to compare. A door
# with local rooms is scraped beside it, and a room is made there during the game.
# Not part of ./test.sh (it takes a build-bench and half a minute).
#
#   scripts/prometheus-local.sh [CLIENTS (9)] [SECONDS (20)] [SCREEN to push (typewriter)]
#
# Needs the Release build with the benchmarks: cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release
# -DCOG_BENCH=ON -DCOG_TESTS=OFF && cmake --build build-bench --target cogwell-host cogwell-door load_clients
set -euo pipefail
cd "$(dirname "$0")/.."
clients=${1:-9}
seconds=${2:-20}
screen=${3:-typewriter}
build=${COG_BUILD:-build-bench}
command -v prometheus >/dev/null || { echo "prometheus not found: apt-get install prometheus" >&2; exit 1; }
for program in cogwell-host cogwell-door load_clients; do
  [ -x "$build/$program" ] || { echo "$build/$program not built (see the comment atop this script)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Ports picked at random above the ephemeral range's start, so two runs rarely meet.
base=$((20000 + RANDOM % 20000))
game_port=$base metrics_port=$((base + 1)) prometheus_port=$((base + 2))
door_port=$((base + 3)) door_metrics_port=$((base + 4))

DISPLAY= WAYLAND_DISPLAY= "$build/cogwell-host" --port "$game_port" --web-port 0 --metrics-port "$metrics_port" \
  --max-players-per-address 0 --log-level warn >"$work/host.log" 2>&1 &
host_pid=$!
pids+=("$host_pid")

DISPLAY= WAYLAND_DISPLAY= "$build/cogwell-door" --port "$door_port" --metrics-port "$door_metrics_port" \
  --host-binary "$build/cogwell-host" --log-level warn >"$work/door.log" 2>&1 &
pids+=("$!")

cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  scrape_timeout: 900ms
scrape_configs:
  - job_name: cogwell
    static_configs:
      - targets: ["127.0.0.1:$metrics_port"]
  - job_name: cogwell-door
    static_configs:
      - targets: ["127.0.0.1:$door_metrics_port"]
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=("$!")

api="http://127.0.0.1:$prometheus_port/api/v1"
for _ in $(seq 50); do
  curl -sf "$api/query?query=up" | grep -q '"value":\[[^]]*"1"\]' && break
  sleep 0.2
done
curl -sf "$api/query?query=up" | grep -q '"value":\[[^]]*"1"\]' || { echo "Prometheus never scraped the host" >&2; cat "$work/prometheus.log" >&2; exit 1; }

echo "== a room made at the door: $(curl -sf -X POST "http://127.0.0.1:$door_port/rooms" || echo failed) =="
echo "== load_clients $clients clients, $seconds s, push $screen =="
"$build/load_clients" "$game_port" "$clients" "$seconds" --push "$screen" --pid "$host_pid"
# The load tool settles a second, measures, then closes: the window is the measured seconds.
end=$(($(date +%s) - 1))
sleep 2 # one more scrape after the end

query() {
  curl -sf --data-urlencode "query=$1" --data-urlencode "time=$end" "$api/query" |
    python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else "none")'
}
window="${seconds}s"
players=$(query "max_over_time(sum(cogwell_players)[$window:1s])")
echo "== what Prometheus scraped (every 1 s), over the last $window of play =="
echo "players seated:              $players"
echo "frame time p99:              $(query "histogram_quantile(0.99, sum by (le) (rate(cogwell_frame_duration_seconds_bucket[$window])))") s"
echo "frames per second:           $(query "rate(cogwell_frames_total[$window])")"
echo "pictures/s per player:       $(query "sum(rate(cogwell_pictures_sent_total[$window])) / $players")"
echo "bytes/s per player (sent):   $(query "sum(rate(cogwell_sent_bytes_total[$window])) / $players")"
echo "mean picture (bytes):        $(query "sum(rate(cogwell_sent_bytes_total[$window])) / sum(rate(cogwell_pictures_sent_total[$window]))")"
echo "screen:                      $(curl -sf --data-urlencode "query=cogwell_screen_info" --data-urlencode "time=$end" "$api/query" |
  python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["metric"]["screen"] if r else "none")')"
echo "== the door =="
echo "rooms live:                  $(query 'sum(cogwell_door_rooms)')"
echo "rooms made:                  $(query 'sum(cogwell_door_rooms_made_total)')"
echo "time to make a room, p99:    $(query 'histogram_quantile(0.99, sum by (le) (cogwell_door_room_allocation_seconds_bucket))') s"
