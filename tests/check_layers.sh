#!/bin/bash
# The layers of src/, top to bottom: app, windows, widgets, engine (cli sits
# beside the windows on the engine). A unit may include its own folder and
# the folders below it, never one above it; within windows only the main
# window includes the windows it opens.
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
exit $status
