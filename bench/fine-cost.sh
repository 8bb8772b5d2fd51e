#!/usr/bin/env bash
# What fine mode adds to a measurement: torvi-measure with and without
# --fine on a 1280 x 720 Motion JPEG AVI of the synthetic dial (R = 300),
# alternating in each run, and the medians of the processor times (user +
# system) and of their per-run ratio (target: at most 1.2).
#   bench/fine-cost.sh [BUILD_DIR] [RUNS]
# The film goes to $TORVI_BENCH_DIR (default /tmp/torvi-bench) and is kept.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-7}
work=${TORVI_BENCH_DIR:-/tmp/torvi-bench}
tool=$build/src/cli/torvi-measure
cmake --build "$build" --target torvi-measure make-dial-frames -j2 >/dev/null
mkdir -p "$work"
film=$work/dial-fine-300.avi
if [ ! -s "$film" ]; then
    "$build/tools/make-dial-frames" 1280x720 300 --motion wander --start 330.37 --turn 61.3 \
        --hand 4 --detailed --noise 2 |
        ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 25 -i - \
            -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -f avi "$film.part"
    mv "$film.part" "$film"
fi

cpu() { # prints user + system seconds of one run
    /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | awk 'END { printf "%.3f\n", $1 + $2 }'
}
measure=("$tool" "$film" --centre 640:360 --radius 300 --quiet -o /dev/null)
echo "film: $film (300 frames 1280x720 MJPEG), load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "run  whole_cpu_s  fine_cpu_s  ratio"
: >"$work/fine-cost.txt"
for run in $(seq "$runs"); do
    whole=$(cpu "${measure[@]}")
    fine=$(cpu "${measure[@]}" --fine)
    ratio=$(awk -v a="$whole" -v b="$fine" 'BEGIN { printf "%.3f", b / a }')
    printf '%3d  %11s  %10s  %5s\n' "$run" "$whole" "$fine" "$ratio"
    echo "$whole $fine $ratio" >>"$work/fine-cost.txt"
done
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "median: whole $(cut -d' ' -f1 "$work/fine-cost.txt" | median) s," \
    "fine $(cut -d' ' -f2 "$work/fine-cost.txt" | median) s," \
    "ratio $(cut -d' ' -f3 "$work/fine-cost.txt" | median)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
