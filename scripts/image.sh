#!/usr/bin/env bash
# Builds the room image without pulling anything: an empty image holding the local Release host,
# the shared libraries it loads (as ldd lists them), an unprivileged user and, when the folder
# exists, the browser client's files. The same layout and settings as deploy/Containerfile.
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

install -D -s "$build/cogwell-host" "$stage/usr/local/bin/cogwell-host"
# Every library at the path the loader found it, so search paths and run paths still hold.
ldd "$build/cogwell-host" | awk '/=> \// {print $3} /^\t\/[^ ]+ \(/ {print $1}' | while read -r lib; do
  install -D -m 0755 "$(readlink -f "$lib")" "$stage$lib"
done
mkdir -p "$stage/etc" "$stage/tmp" "$stage/srv/cogwell/web"
chmod 1777 "$stage/tmp"
printf 'root:x:0:0:root:/root:/sbin/nologin\ncogwell:x:10001:10001:cogwell:/srv/cogwell:/sbin/nologin\n' > "$stage/etc/passwd"
printf 'root:x:0:\ncogwell:x:10001:\n' > "$stage/etc/group"
if [ -d web ]; then
  (cd web && tar --exclude=node_modules -cf - .) | tar -xf - -C "$stage/srv/cogwell/web"
fi

container=$(buildah from scratch)
buildah copy --quiet "$container" "$stage" / >/dev/null
buildah config \
  --entrypoint '["/usr/local/bin/cogwell-host"]' --cmd '' \
  --port 5556/tcp --port 8080/tcp \
  --user 10001:10001 --workingdir /srv/cogwell \
  --env DISPLAY= --env WAYLAND_DISPLAY= \
  --stop-signal SIGTERM \
  --label org.opencontainers.image.title=cogwell-host \
  "$container"
buildah commit --quiet --rm "$container" "$tag" >/dev/null
container=""
echo "$tag: $(podman image inspect --format '{{.Size}}' "$tag" | awk '{printf "%.1f MB", $1/1e6}')"
