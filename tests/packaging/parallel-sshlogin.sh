#!/usr/bin/env bash
# The README's batch across machines with GNU parallel's --sshlogin, for real:
# an sshd of the test's own on 127.0.0.1 (its own port, host key and client
# key) lets the test log in as a second user, torvi-lab, whose home stands in
# for the other machine's disk and whose PATH holds this build's torvi-measure.
# The README's command line, taken from the README itself, measures two copies
# of the sample film and one file that is no film; the results must come back,
# the failed film be named in the job log, and the other machine's home be as
# it was before.
#   parallel-sshlogin.sh TOOL_DIR SOURCE_DIR
set -euo pipefail
tools=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
user=torvi-lab

skip() {
    echo "SKIP: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root to start an sshd and add the user $user (run as root, as in CI)"
sshd=$(command -v sshd || echo /usr/sbin/sshd)
[ -x "$sshd" ] || skip "sshd is missing (scripts/install-deps.sh test installs openssh-server)"
# The other machine's shell sends output there; as a plain file of root's it
# refuses the second user.
[ -c /dev/null ] || skip "/dev/null is not a device on this machine (something replaced it)"
for tool in parallel ssh ssh-keygen rsync flock; do
    command -v $tool >/dev/null || skip "$tool is missing (scripts/install-deps.sh test installs it)"
done

# One run at a time on this machine (a sanitizer build's suite may run beside
# this one): both would use the same user and compare its home.
exec 9>/tmp/torvi-parallel-sshlogin.lock
flock -w 600 9 || skip "another run of this test has held the machine for ten minutes"

work=$(mktemp -d)
sshd_pid=
stop_sshd() {
    if [ -n "$sshd_pid" ]; then
        kill "$sshd_pid" 2>/dev/null || true
        wait "$sshd_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_sshd EXIT
# The remote user reads its authorized key and runs torvi-measure from here.
chmod 755 "$work"

fail() {
    echo "parallel-sshlogin: $*"
    for f in errors.txt results/jobs.log "$work/sshd.log"; do
        [ -e "$f" ] && { echo "--- $f"; cat "$f"; }
    done
    exit 1
}

# The other machine: a user with a home of its own and Torvi on its PATH.
if ! getent passwd $user >/dev/null; then
    useradd --create-home --shell /bin/bash --comment "Torvi batch test" $user
    # A locked password ("!") would refuse key logins too when sshd runs without PAM.
    usermod -p '*' $user
fi
home=$(getent passwd $user | cut -d: -f6)
[ -d "$home" ] || fail "the user $user has no home $home"
mkdir "$work/bin"
cp "$tools/torvi-measure" "$work/bin/"

ssh-keygen -q -t ed25519 -N '' -C torvi-test-host -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -C torvi-test-client -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
chmod 644 "$work/authorized_keys"
# sshd's privilege separation needs its empty directory.
mkdir -p /run/sshd

# A port of its own: try a few until one is free. timeout bounds sshd's life
# even if this script is killed before its trap runs.
port=
for _ in 1 2 3 4 5 6 7 8; do
    candidate=$((20000 + RANDOM % 20000))
    cat >"$work/sshd_config" <<EOF
Port $candidate
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile none
AuthorizedKeysFile $work/authorized_keys
AllowUsers $user
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin no
UsePAM no
StrictModes no
X11Forwarding no
SetEnv PATH=$work/bin:/usr/local/bin:/usr/bin:/bin
EOF
    timeout 300 "$sshd" -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
    sshd_pid=$!
    for _ in $(seq 50); do
        grep -q "Server listening" "$work/sshd.log" && break
        kill -0 "$sshd_pid" 2>/dev/null || break
        sleep 0.1
    done
    if grep -q "Server listening" "$work/sshd.log"; then
        port=$candidate
        break
    fi
    kill "$sshd_pid" 2>/dev/null || true
    wait "$sshd_pid" 2>/dev/null || true
    sshd_pid=
done
[ -n "$port" ] || fail "sshd did not start on 127.0.0.1"

# lab2 and lab3 of the README are both this user on this machine.
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/known_hosts"
cat >"$work/ssh_config" <<EOF
Host lab2 lab3
    HostName 127.0.0.1
    Port $port
    User $user
    IdentityFile $work/client_key
    IdentitiesOnly yes
    UserKnownHostsFile $work/known_hosts
    StrictHostKeyChecking yes
    BatchMode yes
    ConnectTimeout 10
EOF
export PARALLEL_SSH="ssh -F $work/ssh_config"
remote_path=$(timeout 30 $PARALLEL_SSH lab2 'command -v torvi-measure') ||
    fail "cannot log in as $user on 127.0.0.1:$port"
[ "$remote_path" = "$work/bin/torvi-measure" ] || fail "torvi-measure on the other machine is $remote_path"

# The README's command line, its continuation lines joined, with the marks of
# the sample film in place of the README's.
readme_command=$(awk '/^Across several machines/ { found = 1 }
    found && /^```/ { if (inside) exit; inside = 1; next }
    inside' "$source/README.md" | sed -e 's/\\$//' | tr -s '\n ' '  ')
[[ $readme_command == "parallel "*"--sshlogin 4/lab2,4/lab3,:"*"--transferfile"*"--return"*"--cleanup"* ]] ||
    fail "the README's command line across machines was not found: $readme_command"
readme_marks='--centre 412:300 --tip 412:95 --fps 29.97'
sample_marks='--centre 160:120 --tip 73:70 --fps 25'
[[ $readme_command == *"$readme_marks"* ]] || fail "the README's marks changed: $readme_command"
command_line=${readme_command//$readme_marks/$sample_marks}

mkdir "$work/batch" "$work/batch/films" "$work/batch/results"
cd "$work/batch"
cp "$source/samples/dial.avi" films/run1.avi
cp "$source/samples/dial.avi" films/run2.avi
cp "$source/tests/data/films/not-a-film.avi" films/run3.avi
export PATH=$tools:$PATH

before=$(cd "$home" && find . | sort)
status=0
timeout 300 bash -c "$command_line" 2>errors.txt || status=$?
[ "$status" -eq 1 ] || fail "parallel ended with $status, not 1 (one film failed): $command_line"

torvi-measure films/run1.avi $sample_marks --quiet -o single.txt
for run in run1 run2; do
    cmp -s single.txt "results/$run.txt" || fail "results/$run.txt did not come back equal to a single run"
done
[ ! -e results/run3.txt ] || fail "the failing film left a result"
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $9 }' results/jobs.log)
[[ $failed == *"torvi-measure films/run3.avi "* ]] || fail "the job log does not show the failure"
grep -q "^films/run3.avi	torvi-measure: " errors.txt || fail "the failing film is not named"
remote_jobs=$(awk -F'\t' 'NR > 1 && $2 ~ /^lab[23]$/' results/jobs.log | wc -l)
[ "$remote_jobs" -ge 1 ] || fail "no film was measured on the other machine"

# Whatever an earlier, interrupted run left there may go; nothing may come.
left=$(comm -13 <(echo "$before") <(cd "$home" && find . | sort))
[ -z "$left" ] || fail "files were left on the other machine: $(echo $left)"
# The remote measurements have ended with their sessions.
for _ in $(seq 50); do
    pgrep -u $user >/dev/null || break
    sleep 0.1
done
! pgrep -u $user >/dev/null || fail "processes of $user are still running: $(pgrep -a -u $user)"

echo "parallel-sshlogin: $(awk -F'\t' 'NR > 1 { match($9, /films\/[^ ]*/)
    printf "%s on %s (exit %s), ", substr($9, RSTART, RLENGTH), $2, $7 }' results/jobs.log)" \
    "the results back, the other machine clean; the messages:"
cat errors.txt
