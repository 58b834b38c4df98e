#!/usr/bin/env bash
# Lays out what a room image holds under STAGE: the stripped host in /opt/cogwell with the built
# browser client beside it in web/ (where the host looks by default), and every shared library
# the host loads. Used by scripts/image.sh and deploy/Containerfile alike. Each library goes to
# the real folder behind the path the loader found it at (/lib is /usr/lib on Debian 12), so
# copying the stage over a Debian base never replaces the base's /lib link with a folder, and
# search paths and run paths still hold.
#
#   scripts/stage-room.sh BUILD_DIR STAGE
set -euo pipefail
build=$1
stage=$2
host=$build/cogwell-host

install -D -s "$host" "$stage/opt/cogwell/cogwell-host"
ldd "$host" | awk '/=> \// {print $3} /^\t\/[^ ]+ \(/ {print $1}' | while read -r lib; do
  install -D -m 0755 "$(readlink -f "$lib")" "$stage$(readlink -f "$(dirname "$lib")")/$(basename "$lib")"
done
mkdir -p "$stage/opt/cogwell/web"
if [ -d "$build/web" ]; then cp -r "$build/web/." "$stage/opt/cogwell/web/"; fi
