#!/bin/bash
# The layers of src/, top to bottom: app, windows, widgets, engine (cli sits
# beside the windows on the engine). A unit may include its own folder and
# the folders below it, never one above it; within windows only the main
# window includes the windows it opens.
#
# Inside the engine the same holds, with these layers from the top:
#   measurement, live  the measurement sessions (the one may use the other,
#                      but not both ways round)
#   FrameSource        the frames of the open measurement, film or pictures
#   capture            capture devices, their recordings and DIB pictures
#   video              the film reader, its index and FFmpeg inputs
#   av                 FFmpeg's handles, errors and log
#   results            the result table, the graph's points, numbers
#   analysis           the per-frame analysis of the hand
#   PictureFiles       picture files by their extension
#   formats            the picture decoders
#   FrameList          the frame list of a picture sequence or film
#   locale             code pages and the user's locale
#   the engine's other root files (Bitmap, Error, FileIO, ...) at the bottom.
# FrameSource, PictureFiles and FrameList are root files named by their unit.
src=${1:?usage: check_layers.sh SRC}
status=0
refuse() { # folder, pattern of includes it must not have
    local hits
    hits=$(grep -rnE "#include \"($2)/" "$src/$1" 2>/dev/null)
    if [ -n "$hits" ]; then
        echo "$1 includes a unit above it:"; echo "$hits"; status=1
    fi
}
refuse engine 'app|windows|widgets|cli'
refuse cli 'app|windows|widgets'
refuse widgets 'app|windows'
refuse windows 'app'
hits=$(grep -lE '#include "(windows/)?Obrazek_U.h"' "$src"/windows/*.cpp "$src"/windows/*.h |
    grep -v 'Obrazek_U\.\(cpp\|h\)$')
if [ -n "$hits" ]; then
    echo "these units reach back into the main window:"; echo "$hits"; status=1
fi

engine=$src/engine
declare -A rank=([measurement]=0 [live]=0 [FrameSource]=1 [capture]=2 [video]=3 [av]=4
    [results]=5 [analysis]=6 [PictureFiles]=7 [formats]=8 [FrameList]=9 [locale]=10 [root]=11)
# The layer of a root file of the engine, by its name without extension.
root_layer() {
    case $1 in
    FrameSource | PictureFiles | FrameList) echo "$1" ;;
    *) echo root ;;
    esac
}
declare -A uses # "from to" for each pair of layers an include joins
while IFS= read -r file; do
    dir=$(dirname "$file")
    if [ "$dir" = "$engine" ]; then
        name=$(basename "$file")
        from=$(root_layer "${name%.*}")
    else
        from=${dir#"$engine"/}
        from=${from%%/*}
    fi
    if [ -z "${rank[$from]}" ]; then
        echo "engine folder $from has no place among the engine's layers (tests/check_layers.sh)"
        status=1
        continue
    fi
    while IFS=: read -r line included; do
        if [[ $included == */* ]]; then
            to=${included%%/*}
            [ -d "$engine/$to" ] || continue
        elif [ -e "$dir/$included" ] && [ "$dir" != "$engine" ]; then
            continue # its own folder
        elif [ -e "$engine/$included" ]; then
            base=$(basename "$included")
            to=$(root_layer "${base%.*}")
        else
            continue
        fi
        [ "$from" = "$to" ] && continue
        uses["$from $to"]=1
        if [ "${rank[$to]}" -lt "${rank[$from]}" ]; then
            echo "engine: $from includes $to, which stands above it: ${file#"$src"/}:$line"
            status=1
        fi
    done < <(grep -nE '^#include "[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "([^"]+)".*/\1:\2/')
done < <(find "$engine" -name '*.cpp' -o -name '*.h' | sort)
if [ -n "${uses[measurement live]}" ] && [ -n "${uses[live measurement]}" ]; then
    echo "engine: measurement and live include each other"; status=1
fi
exit $status
