#!/usr/bin/env bash
# The whole tool against the limit that matters, decoding: torvi-measure on a
# 1280 x 720 Motion JPEG AVI of the synthetic dial (R = 300) beside
# `ffmpeg -i film -f null -` on the same film, alternating in each run, and
# the median of the per-run ratios (target: at most 1.3). Then the peak
# memory of torvi-measure on a 1000-frame and a 4000-frame film (target:
# equal within 10 %: frames are not kept).
#   bench/measure-vs-ffmpeg.sh [BUILD_DIR] [RUNS]
# The films go to $TORVI_BENCH_DIR (default /tmp/torvi-bench) and are kept
# for the next run.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
work=${TORVI_BENCH_DIR:-/tmp/torvi-bench}
tool=$build/src/cli/torvi-measure
painter=$build/tools/make-dial-frames
cmake --build "$build" --target torvi-measure make-dial-frames -j2 >/dev/null
[ -x /usr/bin/time ] || bash scripts/install-deps.sh test
mkdir -p "$work"

# A film of the dial turning two full turns, slowly at both ends.
make_film() { # frames file
    [ -s "$2" ] && return
    echo "making $2 ..." >&2
    "$painter" 1280x720 "$1" --start 0 --turn 720 |
        ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 25 -i - \
            -c:v mjpeg -q:v 5 -pix_fmt yuvj420p -f avi "$2.part"
    mv "$2.part" "$2"
}
film=$work/dial-1000.avi
long=$work/dial-4000.avi
make_film 1000 "$film"
make_film 4000 "$long"

measure=("$tool" --centre 640:360 --radius 300 --quiet -o /dev/null)
decode=(ffmpeg -v error -nostdin -i)

# Prints "seconds cpu-seconds peak-KiB" of one command (cpu: user + system);
# stops the benchmark when the command fails.
timed() {
    local report
    report=$(mktemp)
    if ! /usr/bin/time -o "$report" -f '%e %U %S %M' "$@" >/dev/null 2>"$report.err"; then
        echo "failed: $* ($(tail -1 "$report.err"))" >&2
        rm -f "$report" "$report.err"
        kill -TERM $$
    fi
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$report"
    rm -f "$report" "$report.err"
}

echo "machine: $(nproc) processors; $(lscpu | sed -n 's/^Model name: *//p')"
echo "ffmpeg: $(ffmpeg -version | head -1)"
echo "film: $film ($(du -h "$film" | cut -f1), 1000 frames 1280x720 MJPEG)"
echo
# On a machine shared with other work the wall-clock times wander with the
# load; the processor time (user + system) of each shows the work itself.
echo "run  ffmpeg_s  torvi_s  ratio   ffmpeg_cpu_s  torvi_cpu_s  cpu_ratio"
ratios=()
cpuRatios=()
for run in $(seq 1 "$runs"); do
    read -r f_s f_cpu _ < <(timed "${decode[@]}" "$film" -f null -)
    read -r t_s t_cpu _ < <(timed "${measure[@]}" "$film")
    ratio=$(awk -v t="$t_s" -v f="$f_s" 'BEGIN { printf "%.3f", t / f }')
    cpuRatio=$(awk -v t="$t_cpu" -v f="$f_cpu" 'BEGIN { printf "%.3f", t / f }')
    ratios+=("$ratio")
    cpuRatios+=("$cpuRatio")
    printf '%3d  %8s  %7s  %5s   %12s  %11s  %9s\n' "$run" "$f_s" "$t_s" "$ratio" "$f_cpu" "$t_cpu" "$cpuRatio"
done
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo "median ratio torvi-measure / ffmpeg: $(median "${ratios[@]}") wall clock (target <= 1.3)," \
    "$(median "${cpuRatios[@]}") processor time"
echo

read -r _ _ m1000 < <(timed "${measure[@]}" "$film")
read -r _ _ m4000 < <(timed "${measure[@]}" "$long")
read -r _ _ f1000 < <(timed "${decode[@]}" "$film" -f null -)
read -r _ _ f4000 < <(timed "${decode[@]}" "$long" -f null -)
echo "peak memory (KiB)  1000 frames  4000 frames  4000/1000"
awk -v a="$m1000" -v b="$m4000" 'BEGIN { printf "torvi-measure      %11d  %11d  %9.3f\n", a, b, b / a }'
awk -v a="$f1000" -v b="$f4000" 'BEGIN { printf "ffmpeg             %11d  %11d  %9.3f\n", a, b, b / a }'
echo "(target: torvi-measure's 4000/1000 within 0.9 .. 1.1)"
