#!/usr/bin/env bash
# The live window's latency from a frame's arrival to its value on the
# screen, on a 40-second film of the dial at 1280 x 720 and 30 frames per
# second played as a camera (MPEG-4, decoded by the device's thread as a
# camera's Motion JPEG would be). Runs the offscreen window RUNS times and
# prints each run's figures.
#   bench/live-window-latency.sh [BUILD_DIR] [RUNS]
# The film goes to $TORVI_BENCH_DIR (default /tmp/torvi-bench) and is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-3}
work=${TORVI_BENCH_DIR:-/tmp/torvi-bench}
cmake --build "$build" --target live-window-latency make-dial-frames -j2 >/dev/null
mkdir -p "$work"
film=$work/dial-720p30-live.avi
if [ ! -s "$film" ]; then
    "$build/tools/make-dial-frames" 1280x720 1200 --motion wander --start 300 --turn 900 |
        ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 30 -i - \
            -c:v mpeg4 -q:v 3 -bf 0 -g 30 -pix_fmt yuv420p "$film.part.avi"
    mv "$film.part.avi" "$film"
fi
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    echo "run $run:"
    QT_QPA_PLATFORM=offscreen "$build/bench/live-window-latency" "$film" 640:360 360:200 30 |
        sed 's/^/  /'
done
