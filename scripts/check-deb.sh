#!/usr/bin/env bash
# Checks a built torvi package: its files are where the desktop, man and bash
# look for them, the menu entry offers every film and picture type the program
# opens, and the menu entry and software-centre description pass their
# validators. Prints the package's contents first.
#   scripts/check-deb.sh torvi_VERSION_amd64.deb
set -euo pipefail
deb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "check-deb: $*" >&2
    exit 1
}

dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
dpkg-deb --extract "$deb" "$work"
root=$work/usr

for f in bin/torvi bin/torvi-measure \
    share/man/man1/torvi.1.gz share/man/man1/torvi-measure.1.gz \
    share/bash-completion/completions/torvi-measure \
    share/doc/torvi/copyright share/doc/torvi/changelog.gz \
    share/torvi/samples/dial.avi share/torvi/samples/README.md; do
    [ -s "$root/$f" ] || fail "/usr/$f is missing"
done
[ -x "$root/bin/torvi" ] && [ -x "$root/bin/torvi-measure" ] || fail "a program is not executable"
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 ||
    fail "the dependencies were not worked out from the binaries"
# Loaded when a capture device opens, so no binary names it.
dpkg-deb --field "$deb" Depends | grep -q 'libavdevice[0-9]' ||
    fail "the package does not depend on FFmpeg's device library"

# One menu entry, named for the desktop id the software-centre file gives.
desktops=("$root"/share/applications/*.desktop)
[ ${#desktops[@]} -eq 1 ] && [ -f "${desktops[0]}" ] || fail "expected one menu entry"
desktop=${desktops[0]}
id=$(basename "$desktop" .desktop)
metainfo=$root/share/metainfo/$id.metainfo.xml
[ -f "$metainfo" ] || fail "/usr/share/metainfo/$id.metainfo.xml is missing"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the software-centre file does not launch $id.desktop"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"

field() { sed -n "s/^$1=//p" "$desktop"; }
exec_line=$(field Exec)
[ -x "$root/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
[[ $exec_line == *%f* ]] || fail "Exec=$exec_line does not pass the chosen file"
icon=$(field Icon)
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
for size in 16 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x$size/apps/$icon.png
    [ -f "$png" ] || fail "no ${size}x$size icon $icon"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not $size x $size"
done

# Every extension the program opens (its --help lists them) has a MIME type
# of the shared database in the menu entry, so a file manager offers Torvi.
mimes=";$(field MimeType)"
globs=/usr/share/mime/globs2
[ -f "$globs" ] || fail "$globs is missing: install shared-mime-info"
exts=$("$root/bin/torvi-measure" --help | sed -n '/^INPUT/,/^-/p' | grep -o '\.[a-z0-9]\+' | sort -u)
[ -n "$exts" ] || fail "torvi-measure --help lists no file type"
for ext in $exts; do
    type=$(awk -F: -v g="*$ext" '$3 == g { print $2; exit }' "$globs")
    [ -n "$type" ] || fail "the MIME database knows no type for $ext"
    [[ $mimes == *";$type;"* ]] || fail "MimeType lacks $type (files $ext)"
done
# bash completes the options from the installed program's --help.
if [ -f /usr/share/bash-completion/bash_completion ]; then
    completed=$(PATH=$root/bin:$PATH bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        COMP_WORDS=(torvi-measure --ce) COMP_CWORD=1 COMP_LINE="torvi-measure --ce"
        COMP_POINT=${#COMP_LINE}
        _torvi_measure torvi-measure --ce torvi-measure
        echo "${COMPREPLY[*]}"' _ "$root/share/bash-completion/completions/torvi-measure")
    [ "$completed" = --centre ] || fail "bash completes --ce to \"$completed\", not --centre"
fi
echo "check-deb: $deb is laid out as the desktop expects"
