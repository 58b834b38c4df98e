#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the window need, when any is missing.
# Further package names given as arguments are installed too (scripts/image.sh asks for its tools).
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsdl2-dev libimgui-dev libstb-dev xvfb xauth
          libsdl2-ttf-dev fonts-dejavu-core libcairo2-dev libfontconfig-dev libzstd-dev libxxhash-dev
          libwebsockets-dev libqrcodegencpp-dev libssl-dev openssl zlib1g-dev chromium libcurl4-openssl-dev python3 python3-yaml
          prometheus-cpp-dev prometheus "$@")
# Node and npm build the browser client; any installation that provides the commands will do
# (Debian's packages, or NodeSource's nodejs, which brings its own npm).
commands=(node:nodejs npm:npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for entry in "${commands[@]}"; do
  command -v "${entry%%:*}" >/dev/null 2>&1 || missing+=("${entry#*:}")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
