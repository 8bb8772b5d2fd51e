#!/bin/bash
# torvi-measure --live on the sample film played as a camera: the run ends
# with the film and writes everything; the film measurement of its recording
# finds the same direction in every frame; Ctrl+C ends a run normally.
# Usage: live_cli.sh TORVI_MEASURE SAMPLE_FILM
set -u
tool=$1
film=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
clicks=(--centre 160:120 --tip 73:70)

"$tool" --live "play:$film" "${clicks[@]}" --learn 1 --record "$work/rec.avi" \
    -o "$work/live.txt" --frames "$work/live.csv" --quiet > "$work/lines" 2> "$work/err" ||
    fail "the played film did not end the run normally: $(cat "$work/err")"
measured=$(wc -l < "$work/lines")
[ "$measured" -ge 5 ] || fail "only $measured frames measured"
[ "$(($(wc -l < "$work/live.csv") - 1))" -eq "$measured" ] || fail "--frames has not a line per frame"
grep -q "^Number of frames per second    (x-axis): " "$work/live.txt" || fail "no result table"
[ "$(head -1 "$work/lines" | cut -d' ' -f1,3)" = "0.00000 0" ] || fail "the run does not start at 0"

"$tool" "$work/rec.avi" "${clicks[@]}" --frames "$work/film.csv" -o /dev/null --quiet ||
    fail "the recording cannot be measured"
cut -d, -f3 "$work/live.csv" > "$work/live.dir"
cut -d, -f3 "$work/film.csv" > "$work/film.dir"
diff -q "$work/live.dir" "$work/film.dir" > /dev/null ||
    fail "directions differ: $(diff "$work/live.dir" "$work/film.dir" | head -5)"

# --fine: the same rows at the same times, with the fine angle.
"$tool" --live "play:$film" "${clicks[@]}" --learn 1 --fine -o "$work/fine.txt" --quiet \
    > /dev/null 2> "$work/err" || fail "--fine run failed: $(cat "$work/err")"
[ "$(wc -l < "$work/fine.txt")" -ge 10 ] || fail "--fine wrote no table"
awk 'NR > 5 && $2 ~ /\.[0-9]*[1-9]/ { fine = 1 } END { exit !fine }' "$work/fine.txt" ||
    fail "--fine kept whole degrees"

"$tool" --live "play:$film" "${clicks[@]}" --learn 0.5 -o "$work/stopped.txt" --quiet \
    > "$work/first" 2> "$work/err" &
pid=$!
# Interrupted while it measures: once its first line is out.
for _ in $(seq 300); do [ -s "$work/first" ] && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid" || fail "Ctrl+C did not end the run normally: $(cat "$work/err")"
[ -s "$work/stopped.txt" ] || fail "Ctrl+C lost the result table"

"$tool" --learn 1 "${clicks[@]}" 2> /dev/null
[ $? -eq 2 ] || fail "--learn without --live was taken"
echo "live: $measured frames measured, the same directions as the film measurement of the recording"
