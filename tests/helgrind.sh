#!/bin/bash
# The threaded parts of the engine under Helgrind: the film reader's
# read-ahead beside FFmpeg's frame and slice threads, the Motion JPEG square
# pass's two decoding threads, a film's calibration on two readers, the live measurement's
# analysis thread beside a capture device's worker, and torvi-measure on the
# sample film, as a film and as a film played as a camera. FFmpeg's own
# threads are covered by tests/helgrind.supp; any other report fails.
# Usage: helgrind.sh BUILD_DIR
set -u
build=${1:?usage: helgrind.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
command -v valgrind > /dev/null || { echo "helgrind: valgrind is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
run() { # what, command...
    local what=$1
    shift
    valgrind --tool=helgrind --suppressions="$root/tests/helgrind.supp" --error-exitcode=99 \
        -q --log-file="$work/log" "$@" > "$work/out" 2>&1
    local code=$?
    # Helgrind's own reports (99) and crashes fail. Under Helgrind a played
    # film outruns its slowed analysis on a loaded machine, so a run that
    # ends on its own complaint about timing is only noted: the other tests
    # check the results, this one the threads.
    if [ $code -eq 99 ] || [ $code -ge 128 ] || [ -s "$work/log" ]; then
        echo "FAIL: $what (status $code)"
        cat "$work/log"
        tail -20 "$work/out"
        status=1
    elif [ $code -ne 0 ]; then
        echo "ok: $what (it ended with status $code under Helgrind's pace:" \
            "$(tail -1 "$work/out"))"
    else
        echo "ok: $what"
    fi
}
# The tests that count a device's pictures in real time are left out: under
# Helgrind a played film or a test picture outruns its measurement. The live
# run of torvi-measure below goes through the same threads without counting.
run "engine tests" "$build/tests/engine_tests" --gtest_filter='FilmReader.ReadingAhead*:FilmReader.StepsBack*:FilmReader.ASecondReader*:FilmReader.MotionJpegSquares*:Calibration.TwoLoaders*:BackgroundJob.*:LiveMeasurement.*:LiveSession.*:-*APlayedFilm*:LiveSession.RunsThatEndEarly*'
clicks=(--centre 160:120 --tip 73:70)
run "torvi-measure on the sample film" "$build/src/cli/torvi-measure" "$root/samples/dial.avi" \
    "${clicks[@]}" --quiet -o "$work/table.txt"
# A Motion JPEG film: its calibration on two readers, its pass on the square
# decoder's two threads.
run "torvi-measure on a Motion JPEG film" "$build/src/cli/torvi-measure" \
    "$root/tests/data/films/square-mjpeg422.avi" --centre 96:32 --radius 30 --quiet \
    -o "$work/mjpeg.txt"
run "torvi-measure --live on the sample film played" "$build/src/cli/torvi-measure" \
    --live "play:$root/samples/dial.avi" "${clicks[@]}" --learn 0.5 --record "$work/rec.avi" \
    -o "$work/live.txt" --quiet
exit $status
