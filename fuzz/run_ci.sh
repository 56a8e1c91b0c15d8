#!/bin/bash
# Bounded fuzzing for CI: builds the libFuzzer targets with clang and runs each one for a fixed
# time, starting from the committed seed corpus. A crash, a leak, a hang or any sanitizer report
# fails the run and prints the input that caused it, base64-encoded, so that it can become a file
# under tests/crashers/.
#
#   fuzz/run_ci.sh                 about eight minutes in all
#   FUZZ_SECONDS=60 fuzz/run_ci.sh  each target for 60 seconds
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELPIN_FUZZ_BUILD:-$repo/build-fuzz-ci}"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DVELPIN_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target fuzz_load fuzz_reader fuzz_codec fuzz_containers fuzz_info \
    fuzz_export

if symbolizer="$(command -v llvm-symbolizer || ls /usr/bin/llvm-symbolizer-* 2>/dev/null | head -n 1)" &&
    [ -n "$symbolizer" ]; then
    export ASAN_SYMBOLIZER_PATH="$symbolizer"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0

# fuzz_target NAME SECONDS [LIBFUZZER OPTIONS...]
fuzz_target() {
    local name="$1" seconds="$2"
    shift 2
    local dir="$work/$name"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    echo "== fuzzing $name for ${seconds}s"
    # A few bytes of chained run-on sprites make up to 4,194,304 items; loading and checking
    # such a list takes tens of seconds with the sanitizers, which is slow but no hang.
    if "$build/fuzz/$name" -max_total_time="$seconds" -max_len=65536 -timeout=120 \
        -rss_limit_mb=2560 "$@" -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
        "$dir/corpus" "$repo/fuzz/corpus/$name" >"$dir/log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$dir/log" || true
        return
    fi
    failed=1
    tail -n 80 "$dir/log"
    local input
    for input in "$dir/artifacts/"*; do
        [ -e "$input" ] || continue
        echo "== $name: $(basename "$input") ($(stat -c %s "$input") bytes), base64:"
        base64 -w 0 "$input"
        echo
    done
}

fuzz_target fuzz_load "${FUZZ_SECONDS:-150}"
fuzz_target fuzz_reader "${FUZZ_SECONDS:-75}"
fuzz_target fuzz_codec "${FUZZ_SECONDS:-75}"
# A container walk's memory is bounded whatever the input: its RSS limit is the scan's budget of
# about 300 MB, with room for what the sanitizers add (shadow memory, a smaller quarantine). A
# single allocation is no failure of its own, however large: libarchive's 7z reader asks for
# gigabytes of zeroed memory on some damaged headers before it refuses them, which costs a few
# megabytes in use (untouched pages) but which the sanitizer's allocator would count whole. So
# -malloc_limit_mb is lifted for this target and the RSS limit alone holds.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=32" \
    fuzz_target fuzz_containers "${FUZZ_SECONDS:-45}" -rss_limit_mb=640 -malloc_limit_mb=1048576
fuzz_target fuzz_info "${FUZZ_SECONDS:-45}"
# Bitmaps go to their PNG a row at a time; libjpeg may hold up to 512 MiB for a progressive
# JPEG's coefficients, within the RSS limit.
fuzz_target fuzz_export "${FUZZ_SECONDS:-45}"

if [ "$failed" -ne 0 ]; then
    echo "fuzzing found a problem: decode the input above into tests/crashers/ and fix it" >&2
    exit 1
fi
echo "== fuzzing found nothing"
