#!/usr/bin/env bash
# Takes the README's pictures of the real program on a private X server:
# opens samples/dial.avi through the open dialog, clicks the dial centre and
# the tip of the hand, presses OK, and saves the main window with the masking
# window (docs/images/main-window.png), then opens the graph
# (docs/images/graph-window.png). Then it plays a minute-long film of the
# dial as a camera in the live measurement window, marks it, learns the
# background, measures for a while and saves that window
# (docs/images/live-window.png). Needs xvfb, xdotool, ImageMagick and the
# ffmpeg tool (`scripts/install-deps.sh test` installs them).
#   scripts/readme-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[[ $build == /* ]] || build=$PWD/$build
export SHOT_PROGRAM=$build/src/torvi
export SHOT_FILM=$PWD/samples/dial.avi
export SHOT_OUT=${SHOT_OUT:-$PWD/docs/images}
[ -x "$SHOT_PROGRAM" ] || { echo "readme-screenshots: $SHOT_PROGRAM is missing; run make first" >&2; exit 1; }
mkdir -p "$SHOT_OUT"

# The live window's film: 60 seconds of the dial at 640 x 480, the hand
# turning two and a half turns, stopping, turning back and stopping.
cmake --build "$build" --target make-dial-frames -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SHOT_LIVE_FILM=$work/dial-minute.avi
"$build/tools/make-dial-frames" 640x480 1500 --motion wander --start 300 --turn 900 |
    ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s 640x480 -r 25 -i - \
        -c:v mpeg4 -q:v 3 -bf 0 -g 12 -pix_fmt yuv420p "$SHOT_LIVE_FILM"
export SHOT_LIVE_CENTRE="320 240" SHOT_LIVE_TIP="140 137"
# The live window's picture lies right of its 230-pixel left column, inside
# two frames.
export SHOT_LIVE_LEFT=242 SHOT_LIVE_TOP=6

# The clicks samples/README.md gives, in the picture's own pixels, and the
# film's size.
export SHOT_CENTRE="160 120" SHOT_TIP="73 70" SHOT_PICTURE="320 240"
# Where things sit in the main window (Qt's Fusion style, DejaVu fonts): the
# menu bar's height, the scroll area's frame around the picture, the rows
# under it (the zoom buttons, the fields, the status bar) and the middle of
# the "OK" button under the calibration box.
export SHOT_MENU=19 SHOT_FRAME=1 SHOT_BELOW=119 SHOT_OK_X=43 SHOT_OK_Y=127

xvfb-run -a -s '-screen 0 1280x1024x24' bash -euo pipefail -c '
    # The id of the first visible window whose title matches, waiting up to 30 s.
    window() {
        for _ in $(seq 300); do
            xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 && return 0
            sleep 0.1
        done
        echo "readme-screenshots: no window \"$1\" appeared" >&2
        return 1
    }
    gone() {
        for _ in $(seq 300); do
            xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
            sleep 0.1
        done
        return 1
    }
    # Saves the given windows as they are on the screen, in their places,
    # later ones on top; the screen between them stays transparent.
    shoot() {
        local out=$1 left=99999 top=99999 right=0 bottom=0 screen parts=()
        shift
        for id in "$@"; do
            eval "$(xdotool getwindowgeometry --shell "$id")"
            ((X < left)) && left=$X
            ((Y < top)) && top=$Y
            ((X + WIDTH > right)) && right=$((X + WIDTH))
            ((Y + HEIGHT > bottom)) && bottom=$((Y + HEIGHT))
        done
        screen=$(mktemp --suffix=.png)
        import -window root "$screen"
        for id in "$@"; do
            eval "$(xdotool getwindowgeometry --shell "$id")"
            parts+=("(" "$screen" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage ")"
                    -geometry "+$((X - left))+$((Y - top))" -composite)
        done
        # Without the date chunks an unchanged window gives an unchanged file.
        convert -size "$((right - left))x$((bottom - top))" xc:none "${parts[@]}" \
            -define png:exclude-chunk=date,time "$out"
        rm -f "$screen"
        echo "screenshot: $out"
    }

    "$SHOT_PROGRAM" & program=$!
    trap "kill $program 2>/dev/null || true" EXIT
    main=$(window "^Torvi$")
    # The window opens as large as most of the screen; the pictures show it
    # at a size that leaves the masking window room beside it.
    xdotool windowsize "$main" 760 560
    sleep 0.5
    xdotool windowfocus --sync "$main"

    # The open dialog starts on its first type, "animation AVI (*.avi)";
    # the file name field has the focus.
    xdotool key ctrl+o
    dialog=$(window "^Open$")
    xdotool windowfocus --sync "$dialog"
    xdotool key ctrl+a
    xdotool type --delay 30 "$SHOT_FILM"
    xdotool key Return
    gone "^Open$"
    sleep 1

    # The picture stands in the middle of the space right of the 169-pixel
    # left column, below the menu bar, inside the scroll area'"'"'s one-pixel
    # frame; a film as small as this one at its natural size.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    read -r pw ph <<<"$SHOT_PICTURE"
    spaceW=$((WIDTH - 169 - 2 * SHOT_FRAME))
    spaceH=$((HEIGHT - SHOT_MENU - 2 * SHOT_FRAME - SHOT_BELOW))
    pictureX=$((X + 169 + SHOT_FRAME + (spaceW - pw) / 2))
    pictureY=$((Y + SHOT_MENU + SHOT_FRAME + (spaceH - ph) / 2))
    read -r cx cy <<<"$SHOT_CENTRE"
    read -r tx ty <<<"$SHOT_TIP"
    xdotool mousemove $((pictureX + cx)) $((pictureY + cy)) click 1
    sleep 0.3
    xdotool mousemove $((pictureX + tx)) $((pictureY + ty)) click 1
    sleep 0.3
    xdotool mousemove $((X + SHOT_OK_X)) $((Y + SHOT_OK_Y)) click 1
    masking=$(window "^Masking$")
    # The masking window opens over the top of the main window; the user
    # would move it aside to watch both.
    xdotool windowmove --sync "$masking" $((X + WIDTH + 12)) "$Y"
    sleep 1
    xdotool mousemove $((X + WIDTH - 5)) $((Y + HEIGHT - 5))
    shoot "$SHOT_OUT/main-window.png" "$main" "$masking"

    xdotool windowfocus --sync "$main"
    xdotool key alt+g
    graph=$(window "^Graph$")
    sleep 1
    shoot "$SHOT_OUT/graph-window.png" "$graph"

    # "&Live measurement..." in "&Capture"; without a camera the device list
    # holds only the entry that asks for a film, and has the focus.
    xdotool key Escape
    gone "^Graph$"
    xdotool windowfocus --sync "$main"
    xdotool key alt+c l
    live=$(window "^Live measurement$")
    xdotool windowfocus --sync "$live"
    sleep 0.5
    xdotool key space
    sleep 0.5
    xdotool key Return
    dialog=$(window "^Open$")
    xdotool windowfocus --sync "$dialog"
    xdotool key ctrl+a
    xdotool type --delay 30 "$SHOT_LIVE_FILM"
    xdotool key Return
    gone "^Open$"
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$live")"
    read -r cx cy <<<"$SHOT_LIVE_CENTRE"
    read -r tx ty <<<"$SHOT_LIVE_TIP"
    xdotool mousemove $((X + SHOT_LIVE_LEFT + cx)) $((Y + SHOT_LIVE_TOP + cy)) click 1
    sleep 0.3
    xdotool mousemove $((X + SHOT_LIVE_LEFT + tx)) $((Y + SHOT_LIVE_TOP + ty)) click 1
    sleep 0.3
    # Learning plays the film from its start while the hand turns; then
    # measuring for a while, so that the graph has something to show.
    xdotool key alt+l
    sleep 3
    xdotool key alt+m
    sleep 20
    xdotool mousemove $((X + WIDTH - 5)) $((Y + HEIGHT - 5))
    shoot "$SHOT_OUT/live-window.png" "$live"

    # The program must end cleanly with the live run still measuring:
    # closing the main window closes the live window, which stops the run.
    xdotool windowfocus --sync "$main"
    xdotool key alt+f e
    for _ in $(seq 1 100); do
        kill -0 "$program" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$program" 2>/dev/null; then
        echo "Torvi did not end within 10 s of \"Exit\"" >&2
        exit 1
    fi
    status=0
    wait "$program" || status=$?
    trap - EXIT
    if [ "$status" -ne 0 ]; then
        echo "Torvi ended with status $status when its window was closed" >&2
        exit 1
    fi
'
