#!/usr/bin/env bash
# Makes the sample measurement in samples/: a 2-second film of the synthetic
# dial (320 x 240, 50 frames at 25 per second, MPEG-4 in AVI), a sequence of
# 13 PNG pictures of the same dial (every fourth frame of the film), and the
# lists of the hand's angle in each. The dial is painted by make-dial-frames
# and encoded by the ffmpeg tool; the bit-exact flags keep the files the same
# from one run to the next on one FFmpeg version.
#   scripts/make-samples.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
painter=$build/tools/make-dial-frames
[ -d "$build" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target make-dial-frames -j2 >/dev/null

size=320x240
frames=50
mkdir -p samples/sequence
rm -f samples/sequence/*.png

"$painter" $size $frames |
    ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s $size -r 25 -i - \
        -c:v mpeg4 -q:v 3 -bf 0 -g 12 -pix_fmt yuv420p \
        -fflags +bitexact -flags:v +bitexact samples/dial.avi
"$painter" $size $frames --angles >samples/dial-angles.txt

"$painter" $size $frames --every 4 |
    ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s $size -i - \
        -pix_fmt rgb24 -start_number 1 -fflags +bitexact -flags:v +bitexact samples/sequence/dial%02d.png
"$painter" $size $frames --every 4 --angles >samples/sequence-angles.txt

ls -l samples/dial.avi samples/sequence | sed 's/^/  /'
