#!/usr/bin/env bash
# The README's batch with GNU parallel, on two copies of the sample film and
# one file that is no film: one result per film, the bad one named in the
# messages and in the job log, the good ones measured all the same.
#   parallel-batch.sh TOOL_DIR SOURCE_DIR
set -euo pipefail
tools=$1
source=$2
command -v parallel >/dev/null ||
    { echo "SKIP: GNU parallel is missing (scripts/install-deps.sh test installs it)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/films" "$work/results"
cp "$source/samples/dial.avi" "$work/films/run1.avi"
cp "$source/samples/dial.avi" "$work/films/run2.avi"
cp "$source/tests/data/films/not-a-film.avi" "$work/films/run3.avi"
cd "$work"
export PATH=$tools:$PATH

# As the README gives it.
status=0
parallel --tag --joblog results/jobs.log \
    torvi-measure {} --centre 160:120 --tip 73:70 --fps 25 --quiet -o results/{/.}.txt \
    ::: films/*.avi 2>errors.txt || status=$?

fail() {
    echo "parallel-batch: $*"
    cat errors.txt results/jobs.log
    exit 1
}
[ "$status" -eq 1 ] || fail "parallel ended with $status, not 1 (one film failed)"
grep -q "^films/run3.avi	torvi-measure: " errors.txt || fail "the failing film is not named"
torvi-measure films/run1.avi --centre 160:120 --tip 73:70 --fps 25 --quiet -o single.txt
for run in run1 run2; do
    cmp -s single.txt "results/$run.txt" || fail "results/$run.txt differs from a single run"
done
[ ! -e results/run3.txt ] || fail "the failing film left a result"
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $9 }' results/jobs.log)
[[ $failed == "torvi-measure films/run3.avi "* ]] || fail "the job log does not show the failure"
echo "parallel-batch: two films measured, the third reported: $(cat errors.txt)"
