#!/bin/bash
# Decoding only the measured square of Motion JPEG frames against FFmpeg
# decoding whole frames (bench/MjpegSquareBench.cpp). Makes the 1280x720
# films once in $TORVI_FILM_DIR (/tmp/torvi-films), as bench/film-speed.sh
# does; they are not kept in the repository.
#   bench/mjpeg-square.sh [build folder]
set -euo pipefail
build=${1:-build}
export TORVI_FILM_DIR=${TORVI_FILM_DIR:-/tmp/torvi-films}
mkdir -p "$TORVI_FILM_DIR"
cd "$(dirname "$0")/.."

source="testsrc2=size=1280x720:rate=25,trim=end_frame=1000"
for recipe in "mjpeg-720p.avi yuvj422p" "mjpeg420-720p.avi yuvj420p"; do
    set -- $recipe
    [ -s "$TORVI_FILM_DIR/$1" ] && continue
    echo "making $1" >&2
    ffmpeg -nostdin -v error -y -f lavfi -i "$source" -c:v mjpeg -q:v 3 -pix_fmt "$2" \
        "$TORVI_FILM_DIR/$1"
done
cmake --build "$build" --target MjpegSquareBench -j2 >/dev/null
"$build/bench/MjpegSquareBench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
