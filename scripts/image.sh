#!/usr/bin/env bash
# Builds the room image without pulling anything: an empty image holding the local Release host,
# the browser client built beside it, the shared libraries it loads (as ldd lists them) and an
# unprivileged user. The same layout and settings as deploy/Containerfile.
#
#   scripts/image.sh [TAG]        (default localhost/cogwell-host:latest)
set -euo pipefail
cd "$(dirname "$0")/.."
tag=${1:-localhost/cogwell-host:latest}
build=${COG_IMAGE_BUILD_DIR:-build-release}

scripts/install-deps.sh buildah podman runc
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOG_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target cogwell-host >/dev/null

stage=$(mktemp -d)
container=""
cleanup() {
  rm -rf "$stage"
  [ -n "$container" ] && buildah rm "$container" >/dev/null 2>&1 || true
}
trap cleanup EXIT

scripts/stage-room.sh "$build" "$stage"
# The build machine's links between the library folders (/lib -> usr/lib on Debian 12), so the
# loader and the libraries are found by the paths the host was linked with.
for dir in lib lib64; do
  if [ -L "/$dir" ]; then ln -s "$(readlink "/$dir")" "$stage/$dir"; fi
done
mkdir -p "$stage/etc" "$stage/tmp"
chmod 1777 "$stage/tmp"
printf 'root:x:0:0:root:/root:/sbin/nologin\ncogwell:x:10001:10001:cogwell:/opt/cogwell:/sbin/nologin\n' > "$stage/etc/passwd"
printf 'root:x:0:\ncogwell:x:10001:\n' > "$stage/etc/group"

container=$(buildah from scratch)
buildah copy --quiet "$container" "$stage" / >/dev/null
buildah config \
  --entrypoint '["/opt/cogwell/cogwell-host"]' --cmd '' \
  --port 5556/tcp --port 8081/tcp --port 9184/tcp \
  --user 10001:10001 --workingdir /opt/cogwell \
  --env DISPLAY= --env WAYLAND_DISPLAY= --env COGWELL_WEB_PORT=8081 --env COGWELL_METRICS_PORT=9184 \
  --stop-signal SIGTERM \
  --label org.opencontainers.image.title=cogwell-host \
  "$container"
buildah commit --quiet --rm "$container" "$tag" >/dev/null
container=""
echo "$tag: $(podman image inspect --format '{{.Size}}' "$tag" | awk '{printf "%.1f MB", $1/1e6}')"
