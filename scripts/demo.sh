#!/usr/bin/env bash
# The sample measurement: torvi-measure on samples/dial.avi with the clicks
# samples/README.md gives, the result table as Torvi saves it, and how far the
# measured turn lies from the angles the dial was painted at.
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tool=$build/src/cli/torvi-measure
[ -x "$tool" ] || { echo "demo: $tool is missing; run make first" >&2; exit 1; }

command=("$tool" samples/dial.avi --centre 160:120 --tip 73:70 --fps 25 --ticks 360
         --sample "Sample dial" --quiet)
echo "\$ ${command[*]}"
table=$(mktemp)
trap 'rm -f "$table"' EXIT
"${command[@]}" >"$table"

# The file is Windows-1252 with CR LF lines and a closing form feed.
iconv -f WINDOWS-1252 -t UTF-8 "$table" | tr -d '\r\f'

# Rows 6 on hold time and angle; the painted angles turn from frame 1's.
tr -d '\r' <"$table" | awk 'NR > 5 && NF == 2 { print $2 }' |
    paste -d ' ' samples/dial-angles.txt - |
    LC_ALL=C awk '
        NR == 1 { first = $2; turns = 0; previous = $2 }
        {
            if ($2 - previous > 180) turns--
            if ($2 - previous < -180) turns++
            previous = $2
            expected = $2 + 360 * turns - first
            off = $3 - expected; if (off < 0) off = -off
            if (off > worst) worst = off
            rows++
        }
        END {
            printf "%d frames: painted turn %d°, measured %g°; largest difference from the painted angles %g°\n",
                rows, expected, $3, worst
        }'
