#!/usr/bin/env bash
# torvi-measure against `ffmpeg -i film -f null -` on the three kinds of film
# users bring most: 1000 frames of the synthetic dial at 1280 x 720 as Motion
# JPEG AVI, MPEG-4 AVI with B-frames (GOP 50) and H.264 MP4 with B-frames
# (GOP 60). Alternates the two commands in each run and prints, per film, the
# medians of the wall-clock and processor-time ratios. With OLD_TOOL set to
# another torvi-measure it times that one too in each run, against the same
# ffmpeg run, and checks that both write the same result table byte for byte.
# EXTRA_FILMS, a list of further 1280 x 720 films (paths), are timed the same
# way after the three (the 20-minute film, say). Peak memory (KiB, the largest
# of the runs) is printed for torvi-measure and ffmpeg.
#   bench/measure-three-films.sh [BUILD_DIR] [RUNS]
# The films go to $TORVI_BENCH_DIR (default /tmp/torvi-bench) and are kept.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
work=${TORVI_BENCH_DIR:-/tmp/torvi-bench}
tool=$build/src/cli/torvi-measure
painter=$build/tools/make-dial-frames
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target torvi-measure make-dial-frames -j2 >/dev/null
mkdir -p "$work"

make_film() { # file encoder-options...
    local file=$1
    shift
    [ -s "$file" ] && return
    echo "making $file ..." >&2
    "$painter" 1280x720 1000 --start 0 --turn 720 |
        ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 25 -i - "$@" "$file.part"
    mv "$file.part" "$file"
}
make_film "$work/dial-mjpeg.avi" -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -f avi
make_film "$work/dial-mpeg4.avi" -c:v mpeg4 -bf 2 -g 50 -q:v 4 -pix_fmt yuv420p -f avi
make_film "$work/dial-h264.mp4" -c:v libx264 -preset veryfast -bf 3 -g 60 -pix_fmt yuv420p -f mp4

measure=(--centre 640:360 --radius 300 --quiet)
timed() { # prints "seconds cpu-seconds peak-KiB" of one command
    local report
    report=$(mktemp)
    /usr/bin/time -o "$report" -f '%e %U %S %M' "$@" >/dev/null 2>&1
    awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$report"
    rm -f "$report"
}
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "machine: $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg); $runs runs"
ratio() { awk -v t="$1" -v f="$2" 'BEGIN { printf "%.3f", t / f }'; }
printf '%-16s %12s %12s %14s %14s %10s %10s %10s %s\n' film wall_ratio cpu_ratio old_wall_ratio \
    old_cpu_ratio ffmpeg_s peak_kib ffmpeg_kib same_table
# shellcheck disable=SC2086 # EXTRA_FILMS is a list
for film in dial-mjpeg.avi dial-mpeg4.avi dial-h264.mp4 ${EXTRA_FILMS:-}; do
    path=$work/$film
    [ -e "$film" ] && path=$film
    ratios=()
    cpus=()
    old_ratios=()
    old_cpus=()
    seconds=()
    peak=0
    ffmpeg_peak=0
    for _ in $(seq 1 "$runs"); do
        read -r f_s f_cpu f_kib < <(timed ffmpeg -v error -nostdin -i "$path" -f null -)
        read -r t_s t_cpu t_kib < <(timed "$tool" "$path" "${measure[@]}" -o /dev/null)
        seconds+=("$f_s")
        [ "$t_kib" -gt "$peak" ] && peak=$t_kib
        [ "$f_kib" -gt "$ffmpeg_peak" ] && ffmpeg_peak=$f_kib
        ratios+=("$(ratio "$t_s" "$f_s")")
        cpus+=("$(ratio "$t_cpu" "$f_cpu")")
        if [ -n "${OLD_TOOL:-}" ]; then
            read -r o_s o_cpu _ < <(timed "$OLD_TOOL" "$path" "${measure[@]}" -o /dev/null)
            old_ratios+=("$(ratio "$o_s" "$f_s")")
            old_cpus+=("$(ratio "$o_cpu" "$f_cpu")")
        fi
    done
    same=-
    old_wall=-
    old_cpu=-
    if [ -n "${OLD_TOOL:-}" ]; then
        "$tool" "$path" "${measure[@]}" -o "$work/new.txt"
        "$OLD_TOOL" "$path" "${measure[@]}" -o "$work/old.txt"
        cmp -s "$work/new.txt" "$work/old.txt" && same=yes || same=NO
        old_wall=$(median "${old_ratios[@]}")
        old_cpu=$(median "${old_cpus[@]}")
    fi
    printf '%-16s %12s %12s %14s %14s %10s %10s %10s %s\n' "$(basename "$film")" \
        "$(median "${ratios[@]}")" "$(median "${cpus[@]}")" "$old_wall" "$old_cpu" \
        "$(median "${seconds[@]}")" "$peak" "$ffmpeg_peak" "$same"
done
