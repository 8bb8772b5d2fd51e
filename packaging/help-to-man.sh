#!/bin/sh
# Writes the manual page of a command from its --help text, so the page says
# what the program itself says and cannot fall behind it.
#   help-to-man.sh NAME SUMMARY SOURCE DATE < help.txt > NAME.1
# The help text is read by paragraphs (blank-line separated):
#   "usage: ..." and its continuation lines            -> SYNOPSIS
#   a table of terms with their text in one column      -> OPTIONS
#   "Heading:" alone, then indented lines               -> HEADING, lines kept
#   "Heading: text"                                     -> HEADING, the text
#   any other paragraph                                 -> DESCRIPTION
set -eu
[ $# -eq 4 ] || { echo "usage: help-to-man.sh NAME SUMMARY SOURCE DATE" >&2; exit 2; }
LC_ALL=C.UTF-8 awk -v name="$1" -v summary="$2" -v source="$3" -v date="$4" '
function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    if (s ~ /^[.\047]/) s = "\\&" s
    return s
}
# Prose keeps its hyphens; only dashes that start an option become minus signs.
function prose(s,    out) {
    gsub(/\\/, "\\e", s)
    out = ""
    while (match(s, /(^|[ (\[|])-+[A-Za-z]/)) {
        out = out substr(s, 1, RSTART - 1)
        s = substr(s, RSTART)
        if (s ~ /^[ (\[|]/) { out = out substr(s, 1, 1); s = substr(s, 2) }
        while (substr(s, 1, 1) == "-") { out = out "\\-"; s = substr(s, 2) }
    }
    s = out s
    if (s ~ /^[.\047]/) s = "\\&" s
    return s
}
function upper(s) { return toupper(s) }
# The text column of a term table: the smallest column at which every line has
# either a term ending before it or only indentation before it, with most
# terms padded by two spaces or more. 0: no table.
function table_column(n,    c, i, line, terms, padded) {
    terms = 0
    for (i = 1; i <= n; i++) if (par[i] !~ /^ /) terms++
    if (terms < 2) return 0
    for (c = 4; c <= 40; c++) {
        for (i = 1; i <= n; i++) {
            line = par[i]
            if (line ~ /^ /) {
                if (substr(line, 1, c) !~ /^ +$/ || substr(line, c + 1, 1) == " ") break
            } else if (substr(line, c, 1) != " " || substr(line, c + 1, 1) == " ") {
                if (!overflows(line, c)) break
            }
        }
        if (i > n) break
    }
    if (c > 40) return 0
    padded = 0
    for (i = 1; i <= n; i++) if (par[i] !~ /^ / && substr(par[i], c - 1, 2) == "  ") padded++
    return 2 * padded >= terms ? c : 0
}
# A term too long for the column, its text after two spaces or more.
function overflows(line, c) {
    return match(line, /[^ ]  +[^ ]/) && RSTART >= c
}
function flush(    i, c, term, text, line, head, rest) {
    if (count == 0) return
    if (par[1] ~ /^usage: /) {
        print ".SH SYNOPSIS"
        print ".nf"
        for (i = 1; i <= count; i++) {
            line = par[i]
            sub(/^usage: /, "", line)
            sub(/^ +/, "", line)
            print esc(line)
        }
        print ".fi"
    } else if ((c = table_column(count)) > 0) {
        if (!options_done) print ".SH OPTIONS"
        options_done = 1
        for (i = 1; i <= count; i++) {
            line = par[i]
            term = substr(line, 1, c - 1)
            text = substr(line, c + 1)
            if (line !~ /^ / && (substr(line, c, 1) != " " || substr(line, c + 1, 1) == " ")) {
                overflows(line, c)
                term = substr(line, 1, RSTART)
                text = substr(line, RSTART + RLENGTH - 1)
            }
            if (line !~ /^ /) {
                sub(/ +$/, "", term)
                print ".TP"
                print "\\fB" esc(term) "\\fR"
            }
            print prose(text)
        }
    } else if (par[1] ~ /^[A-Z][A-Za-z ]*:$/ && count > 1) {
        head = par[1]
        sub(/:$/, "", head)
        print ".SH " upper(head)
        print ".nf"
        for (i = 2; i <= count; i++) {
            line = par[i]
            sub(/^  /, "", line)
            print esc(line)
        }
        print ".fi"
    } else if (par[1] ~ /^[A-Z][a-z ]*: /) {
        head = par[1]
        sub(/: .*/, "", head)
        rest = substr(par[1], length(head) + 3)
        print ".SH " upper(head)
        print prose(rest)
        for (i = 2; i <= count; i++) print prose(par[i])
    } else {
        if (!description_done) print ".SH DESCRIPTION"
        else print ".PP"
        description_done = 1
        for (i = 1; i <= count; i++) print prose(par[i])
    }
    count = 0
}
BEGIN {
    printf ".TH %s 1 \"%s\" \"%s\" \"User Commands\"\n", upper(esc(name)), date, source
    print ".nh"
    print ".ad l"
    print ".SH NAME"
    print esc(name) " \\- " summary
}
/^[ \t]*$/ { flush(); next }
{ par[++count] = $0 }
END {
    flush()
    print ".SH SEE ALSO"
    print ".BR torvi (1)"
}
'
