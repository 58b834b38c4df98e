#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer + ASan + UBSan); runs the two protocol targets at
# once, one per core, then the recording reader, for SECONDS each (default 60). Corpora, logs and
# crash files go to build-fuzz/. Built by hand rather than through CMake so that only the sources
# each target reads are needed.
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
for target in fuzz_json_reader fuzz_receive_message; do
    # shellcheck disable=SC2086
    clang++ $flags "$root/fuzz/$target.cpp" $libs -o "$build/$target"
done
# The recording reader (file and record stream) with the replay's reader and the format's helpers,
# seeded from a real recording kept in fuzz/seeds/recording.
mkdir -p "$build/corpus-recording"
# shellcheck disable=SC2086
clang++ $flags "$root/fuzz/fuzz_recording_reader.cpp" "$root/replay/recording.cpp" \
    "$root/server/main/recording_format.cpp" -lzstd -lxxhash -o "$build/fuzz_recording_reader"
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
./fuzz_recording_reader -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 corpus-recording \
    "$root/fuzz/seeds/recording" > fuzz_recording_reader.log 2>&1 || status=1
tail -n 15 fuzz_json_reader.log fuzz_receive_message.log fuzz_recording_reader.log
exit $status
