#!/usr/bin/env bash
# How the measured turn of lossy films changes when the grey comes from the
# luma, and whether it moves nearer to or further from the painted truth.
# Paints the dial with make-dial-frames (a turning hand, and one wandering
# between whole degrees on a textured, noisy face), encodes each as Motion
# JPEG (full and limited range), MPEG-4 and H.264, measures them with this
# build's torvi-measure and with OLD_TOOL, whole degrees and --fine, and
# prints per film: frames whose direction changed, the largest change, and
# the RMS and worst error against the painted angle for both tools.
#   OLD_TOOL=/path/to/torvi-measure bench/lossy-tables.sh [BUILD_DIR]
# The films go to $TORVI_BENCH_DIR/lossy (default /tmp/torvi-bench/lossy).
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
build=${1:-build}
: "${OLD_TOOL:?set OLD_TOOL to the torvi-measure to compare with}"
work=${TORVI_BENCH_DIR:-/tmp/torvi-bench}/lossy
tool=$build/src/cli/torvi-measure
painter=$build/tools/make-dial-frames
mkdir -p "$work"

size=640x480
frames=300
measure=(--centre 320:240 --radius 200 --quiet)
paintings=("turn:--start 300 --turn 540" "wander:--motion wander --start 20.5 --turn 40 --detailed --noise 6 --hand 3")
encodings=(
    "mjpeg-full.avi:-c:v mjpeg -q:v 5 -pix_fmt yuvj420p"
    "mjpeg-limited.avi:-c:v mjpeg -q:v 5 -pix_fmt yuv420p -strict -1"
    "mpeg4.avi:-c:v mpeg4 -bf 2 -g 50 -q:v 5 -pix_fmt yuv420p"
    "h264.mp4:-c:v libx264 -preset veryfast -bf 3 -g 60 -crf 23 -pix_fmt yuv420p"
)

printf '%-26s %5s %8s %8s %9s %9s %9s %9s\n' film mode changed largest old_rms new_rms old_worst \
    new_worst
for painting in "${paintings[@]}"; do
    name=${painting%%:*}
    read -r -a options <<< "${painting#*:}"
    "$painter" "$size" "$frames" "${options[@]}" --angles > "$work/$name.truth"
    for encoding in "${encodings[@]}"; do
        file=$work/$name-${encoding%%:*}
        read -r -a encoder <<< "${encoding#*:}"
        if [ ! -s "$file" ]; then
            "$painter" "$size" "$frames" "${options[@]}" |
                ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s "$size" -r 25 -i - \
                    "${encoder[@]}" "$file.part.${file##*.}"
            mv "$file.part.${file##*.}" "$file"
        fi
        for mode in whole fine; do
            extra=()
            [ "$mode" = fine ] && extra=(--fine)
            "$tool" "$file" "${measure[@]}" "${extra[@]}" -o /dev/null --frames "$work/new.csv"
            "$OLD_TOOL" "$file" "${measure[@]}" "${extra[@]}" -o /dev/null --frames "$work/old.csv"
            python3 - "$work/$name.truth" "$work/old.csv" "$work/new.csv" "$mode" \
                "$(basename "$file")" << 'EOF'
import csv, math, sys
truth_file, old_file, new_file, mode, film = sys.argv[1:]
truth = [float(line.split()[1]) for line in open(truth_file)]
def series(path):
    rows = [r for r in csv.reader(open(path)) if r and r[0].strip().isdigit()]
    # whole degrees: the direction (column 3); fine: the fine direction (column 8)
    column = 2 if mode == "whole" else 7
    return [float(r[column]) for r in rows]
def error(a, b):
    return abs((a - b + 180) % 360 - 180)
old, new = series(old_file), series(new_file)
changes = [error(o, n) for o, n in zip(old, new)]
changed = sum(1 for c in changes if c > 1e-9)
def stats(values):
    errors = [error(v, t) for v, t in zip(values, truth)]
    return math.sqrt(sum(e * e for e in errors) / len(errors)), max(errors)
old_rms, old_worst = stats(old)
new_rms, new_worst = stats(new)
print(f"{film:26s} {mode:>5s} {changed:8d} {max(changes):8.3f} {old_rms:9.3f} {new_rms:9.3f} "
      f"{old_worst:9.3f} {new_worst:9.3f}")
EOF
        done
    done
done
