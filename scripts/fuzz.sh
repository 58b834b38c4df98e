#!/bin/sh
# Builds the protocol fuzz targets with clang (libFuzzer + ASan + UBSan) and runs both at once,
# one per core, for SECONDS each (default 60). Corpora, logs and crash files go to build-fuzz/.
# Built by hand rather than through CMake so that only the protocol and log sources are needed.
# Usage: scripts/fuzz.sh [seconds]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build-fuzz"
if ! command -v clang++ > /dev/null; then
    sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    $sudo_cmd apt-get update -qq && $sudo_cmd apt-get install -y -qq clang
fi
mkdir -p "$build/corpus-json" "$build/corpus-receive"
flags="-std=c++20 -O1 -g -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -include $root/fuzz/compat/source_location.h -I$root"
libs="$root/shared/protocol/*.cpp $root/shared/log/*.cpp"
for target in fuzz_json_reader fuzz_receive_message fuzz_web_channel; do
    # shellcheck disable=SC2086
    clang++ $flags "$root/fuzz/$target.cpp" $libs -o "$build/$target"
done
cd "$build"
./fuzz_json_reader -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 corpus-json \
    > fuzz_json_reader.log 2>&1 &
json=$!
./fuzz_receive_message -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 corpus-receive \
    > fuzz_receive_message.log 2>&1 &
recv=$!
status=0
wait $json || status=1
wait $recv || status=1
./fuzz_web_channel -max_total_time="$seconds" -create_missing_dirs=1 -print_final_stats=1 corpus-web > fuzz_web_channel.log 2>&1 || status=1
tail -n 15 fuzz_json_reader.log fuzz_receive_message.log fuzz_web_channel.log
exit $status
