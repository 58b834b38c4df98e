#!/usr/bin/env bash
# Lays out what a room image holds under STAGE: the stripped host, every shared library it loads
# and, when the folder exists, the browser client's files. Used by scripts/image.sh and
# deploy/Containerfile alike. Each library goes to the real folder behind the path the loader
# found it at (/lib is /usr/lib on Debian 12), so copying the stage over a Debian base never
# replaces the base's /lib link with a folder, and search paths and run paths still hold.
#
#   scripts/stage-room.sh HOST_BINARY STAGE
set -euo pipefail
cd "$(dirname "$0")/.."
host=$1
stage=$2

install -D -s "$host" "$stage/usr/local/bin/cogwell-host"
ldd "$host" | awk '/=> \// {print $3} /^\t\/[^ ]+ \(/ {print $1}' | while read -r lib; do
  install -D -m 0755 "$(readlink -f "$lib")" "$stage$(readlink -f "$(dirname "$lib")")/$(basename "$lib")"
done
mkdir -p "$stage/srv/cogwell/web"
if [ -d web ]; then
  (cd web && tar --exclude=node_modules -cf - .) | tar -xf - -C "$stage/srv/cogwell/web"
fi
