#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang (libFuzzer + ASan + UBSan) and runs them one
# after another, SECONDS each: the long run by default (30 minutes a target), a minute a target
# with --short. Corpora, logs and crash files go to build-fuzz/; seeds in fuzz/seeds/<target>/ and
# a dictionary fuzz/<target>.dict are used when present; a corpus grows from run to run.
# Built by hand rather than through CMake so that each target compiles only the sources it needs.
# Usage: scripts/fuzz.sh [--short | seconds] [target...]   (no target names: all of them)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=1800
case "${1:-}" in
    --short) seconds=60; shift ;;
    ''|*[!0-9]*) ;;
    *) seconds=$1; shift ;;
esac
only="$*"
build="$root/build-fuzz"
if ! command -v clang++ > /dev/null; then
    sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    $sudo_cmd apt-get update -qq && $sudo_cmd apt-get install -y -qq clang
fi
mkdir -p "$build"
flags="-std=c++20 -O1 -g -Wall -Wextra -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -include $root/fuzz/compat/source_location.h -I$root"
# Source sets the targets draw on.
protocol="$root/shared/protocol/*.cpp $root/shared/log/*.cpp"
client="$protocol $(ls "$root"/client/*/*.cpp)"
client_packages="sdl2 SDL2_ttf cairo fontconfig libwebsockets"

status=0
summary=""
# fuzz_target NAME "SOURCES" "PKG-CONFIG PACKAGES" [LIBS] [LIBFUZZER OPTIONS...]
fuzz_target() {
    name=$1 sources=$2 packages=$3 libs=$4
    shift 4
    case " $only " in "  ") ;; *" $name "*) ;; *) return 0 ;; esac
    if [ ! -f "$root/fuzz/$name.cpp" ]; then
        echo "fuzz.sh: warning: fuzz/$name.cpp is missing; $name skipped" >&2
        return 0
    fi
    pkg_flags=""
    # shellcheck disable=SC2086
    [ -n "$packages" ] && pkg_flags=$(pkg-config --cflags --libs $packages)
    echo "== $name: building"
    # shellcheck disable=SC2086
    if ! clang++ $flags "$root/fuzz/$name.cpp" $sources $pkg_flags $libs -o "$build/$name" > "$build/$name.build.log" 2>&1; then
        echo "fuzz.sh: $name does not build, see $build/$name.build.log" >&2
        status=1
        return 0
    fi
    mkdir -p "$build/corpus-$name"
    seeds=""; [ -d "$root/fuzz/seeds/$name" ] && seeds="$root/fuzz/seeds/$name"
    dict=""; [ -f "$root/fuzz/$name.dict" ] && dict="-dict=$root/fuzz/$name.dict"
    echo "== $name: running for $seconds s"
    # shellcheck disable=SC2086
    (cd "$build" && "./$name" -max_total_time="$seconds" -print_final_stats=1 $dict "$@" "corpus-$name" $seeds \
        > "$name.log" 2>&1) || status=1
    tail -n 4 "$build/$name.log"
    summary="$summary
$name: $(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$build/$name.log" | tail -n 1)"
}

# One line per target.
fuzz_target fuzz_json_reader     "$protocol" "" "" -max_len=8192
fuzz_target fuzz_receive_message "$protocol" "" "" -max_len=8192
fuzz_target fuzz_web_channel     "$protocol" "" "" -max_len=1024
fuzz_target fuzz_client_picture  "$client" "$client_packages" "-lstb" -max_len=65536 -timeout=20 -rss_limit_mb=2560
fuzz_target fuzz_recording_reader "$root/replay/recording.cpp $root/server/recording/recording_format.cpp" "" \
    "-lzstd -lxxhash" -max_len=65536

echo "== summary (last status line of each run)$summary"
exit $status
