#!/bin/sh
# Runs each picture-reader fuzz target in turn for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 600] [targets, default "pcx tga bmp pictures"]
# Expects the fuzz build in build-fuzz (or $TORVI_FUZZ_BUILD), made with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTORVI_BUILD_FUZZ=ON \
#       -DTORVI_BUILD_GUI=OFF -DTORVI_BUILD_BENCH=OFF
# Seeds come from the test pictures; the growing corpus and any crashing
# inputs stay in the build folder (corpus/ and artifacts/).
set -eu
seconds=${1:-600}
targets=${2:-"pcx tga bmp pictures"}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TORVI_FUZZ_BUILD:-$root/build-fuzz}
pictures=$root/tests/data/pictures
# The shared conformance pictures sit beside the project, or one level further
# up for a worktree.
bmpsuite=$root/../shared/conformance/bmpsuite
[ -d "$bmpsuite" ] || bmpsuite=$root/../../shared/conformance/bmpsuite

for target in $targets; do
    cmake --build "$build" --target "fuzz_$target" -j2
done

seed() { # seed <folder> <find name patterns...>
    folder=$1
    shift
    mkdir -p "$folder"
    for dir in "$pictures" "$bmpsuite"; do
        [ -d "$dir" ] || continue
        find "$dir" -type f \( "$@" \) -size -64k -exec cp {} "$folder"/ \;
    done
}

status=0
for target in $targets; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    case $target in
    pcx) seed "$corpus" -iname '*.pcx' ;;
    tga) seed "$corpus" -iname '*.tga' ;;
    bmp) seed "$corpus" -iname '*.bmp' ;;
    *) seed "$corpus" -iname '*.*' ;;
    esac
    echo "== fuzz_$target for $seconds s"
    # No single allocation above 128 MB and no more than 512 MB in all: a
    # reader must check a declared size against the data before it allocates.
    "$build/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
        -malloc_limit_mb=128 -rss_limit_mb=512 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" || status=1
done
exit $status
