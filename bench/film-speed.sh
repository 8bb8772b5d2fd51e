#!/bin/bash
# Reading films through the program against `ffmpeg -i film -f null -`, side
# by side on the same films. Makes the 1000-frame 1280x720 films once in
# $TORVI_FILM_DIR (/tmp/torvi-films); they are not kept in the repository.
#   bench/film-speed.sh [build folder]
set -euo pipefail
build=${1:-build}
export TORVI_FILM_DIR=${TORVI_FILM_DIR:-/tmp/torvi-films}
mkdir -p "$TORVI_FILM_DIR"
cd "$(dirname "$0")/.."

source="testsrc2=size=1280x720:rate=25,trim=end_frame=1000"
make_film() { # name options...
    local name=$1
    shift
    [ -s "$TORVI_FILM_DIR/$name" ] && return
    echo "making $name" >&2
    ffmpeg -nostdin -v error -y -f lavfi -i "$source" "$@" "$TORVI_FILM_DIR/$name"
}
make_film mjpeg-720p.avi -c:v mjpeg -q:v 3 -pix_fmt yuvj422p
make_film mpeg4-720p.avi -c:v mpeg4 -q:v 4 -bf 2 -g 50
make_film mpeg2-720p.mpg -c:v mpeg2video -q:v 4 -bf 2 -g 15
# For FilmBench's RandomJump/5 and DecodeOneGop/5:
make_film h264-720p.mp4 -c:v libx264 -preset veryfast -bf 3 -g 50 -pix_fmt yuv420p
# For FilmBench's StepBackward/3 and OpenFilm/4 (run by hand):
source="testsrc2=size=320x240:rate=25,trim=end_frame=300" \
    make_film mpeg4-onekey-240p.avi -c:v mpeg4 -q:v 4 -bf 2 -g 300
source="testsrc2=size=640x480:rate=25,trim=end_frame=3000" \
    make_film xvid-packed-480p.avi -c:v libxvid -bf 2 -g 50 -vtag DX50

cmake --build "$build" --target FilmBench -j2 >/dev/null
bench="$build/bench/FilmBench"

seconds() { # command...: best wall time of three runs
    local best=
    for _ in 1 2 3; do
        local start end t
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        t=$(((end - start) / 1000000))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    echo "$best"
}

printf '%-16s %10s %10s %8s %10s %10s %10s %10s %10s %8s\n' film "ffmpeg ms" "read ms" ratio \
    "open ms" "ratio-open" "jump ms" "gop ms" "bgr24 ms" "ratio-bgr"
for i in 0 1 2; do
    film=$(sed -n "$((i + 1))p" <<<$'mjpeg-720p.avi\nmpeg4-720p.avi\nmpeg2-720p.mpg')
    ffmpeg_ms=$(seconds ffmpeg -nostdin -v error -i "$TORVI_FILM_DIR/$film" -f null -)
    read_ms=$(seconds "$bench" --benchmark_filter="ReadEveryFrame/$i/")
    # ffmpeg also turning every frame into 24-bit BGR, as the reader must.
    bgr_ms=$(seconds ffmpeg -nostdin -v error -i "$TORVI_FILM_DIR/$film" -sws_flags bilinear \
        -pix_fmt bgr24 -f null -)
    # One program run per benchmark: their CSV columns differ.
    csv=$(for name in OpenFilm RandomJump DecodeOneGop; do
        "$bench" --benchmark_filter="$name/$i(/|\$)" --benchmark_format=csv 2>/dev/null
    done)
    field() { awk -F, -v n="$1" 'index($1, n) == 2 { printf "%.1f", $3 }' <<<"$csv"; }
    open_ms=$(field OpenFilm/$i)
    ratio=$(awk -v a="$read_ms" -v b="$ffmpeg_ms" 'BEGIN { printf "%.2f", a / b }')
    after_open=$(awk -v a="$read_ms" -v o="$open_ms" -v b="$ffmpeg_ms" \
        'BEGIN { printf "%.2f", (a - o) / b }')
    ratio_bgr=$(awk -v a="$read_ms" -v o="$open_ms" -v b="$bgr_ms" \
        'BEGIN { printf "%.2f", (a - o) / b }')
    printf '%-16s %10s %10s %8s %10s %10s %10s %10s %10s %8s\n' "$film" "$ffmpeg_ms" "$read_ms" \
        "$ratio" "$open_ms" "$after_open" "$(field RandomJump/$i)" "$(field DecodeOneGop/$i)" \
        "$bgr_ms" "$ratio_bgr"
done
echo "read ms: the bench program opening the film and reading every frame through"
echo "GetVideoFrame (program start-up included, as for ffmpeg); best of three runs."
echo "ratio-open: the same without the opening (the index pass); jump ms: one random"
echo "frame of an open film; gop ms: decoding the film's longest GOP in order;"
echo "bgr24 ms: ffmpeg decoding and converting every frame to 24-bit BGR, which the"
echo "reader has to do as well; ratio-bgr: the reading without the opening against it."
