#!/usr/bin/env bash
# Fails when any engine source includes a Qt header: the engine must build and
# run without the toolkit, for the command-line tool and the fast tests.
dir=${1:?engine folder}
hits=$(grep -rnE '^\s*#\s*include\s*[<"](Q[A-Za-z]|qt|Qt)' "$dir" --include='*.h' --include='*.cpp' --include='*.hpp')
if [ -n "$hits" ]; then
    echo "Qt headers in the engine:"
    echo "$hits"
    exit 1
fi
echo "engine is toolkit-free"
