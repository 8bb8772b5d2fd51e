#!/usr/bin/env bash
# The manual page written at build time says every word of torvi-measure's
# --help, in its order, whatever the help's layout has become.
#   manpage-matches-help.sh TORVI_MEASURE MANPAGE
set -euo pipefail
tool=$1
page=$2
command -v groff >/dev/null || { echo "SKIP: groff is missing (install groff-base)"; exit 77; }

# Words in lower case, without a closing colon; the page turns "usage:" into
# its SYNOPSIS heading and "Example:" into EXAMPLE.
words() { tr -s ' \t\n' '\n\n\n' | sed -e 's/:$//' | tr 'A-Z' 'a-z' | grep -v -x -e '' -e usage; }
# groff prints minus signs and apostrophes as their typographic characters.
rendered=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -P-cbou "$page" | sed -e 's/−/-/g' -e "s/’/'/g" -e 's/‐/-/g')
help=$("$tool" --help)

missing=$(awk 'NR == FNR { man[++n] = $0; next }
               {
                   found = 0
                   while (i < n) if (man[++i] == $0) { found = 1; break }
                   if (!found) { print "missing from the page, or out of order: " $0; exit }
               }' <(words <<<"$rendered") <(words <<<"$help"))
if [ -n "$missing" ]; then
    echo "$missing"
    echo "--- the page reads:"
    echo "$rendered"
    exit 1
fi
echo "the manual page says all $(words <<<"$help" | wc -l) words of --help in order"
