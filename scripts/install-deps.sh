#!/usr/bin/env bash
# Installs the Debian packages Torvi needs for one use, and only those:
#   scripts/install-deps.sh [run|test|deb|fuzz]
#     run   build and start the program (the default)
#     test  and run the test suite and the benchmarks
#     deb   and build and check the Debian package (make deb)
#     fuzz  and build the fuzzing targets with clang
# Safe to run again: it only installs what is missing.
set -euo pipefail

profile=${1:-run}

run_packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    qt6-charts-dev libqt6opengl6-dev qt6-svg-dev libgl-dev
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libavdevice-dev ffmpeg
    libjpeg-dev libpng-dev zlib1g-dev libtiff-dev libgif-dev libicu-dev
)
# The test profile also checks the installed files and the package's layout,
# runs the batch examples of the README with GNU parallel, the one across
# machines through an sshd of the test's own on 127.0.0.1 (rsync carries the
# files), and the threaded engine under Valgrind's Helgrind.
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev valgrind
    xvfb xauth imagemagick xdotool fonts-dejavu-core time locales
    dpkg-dev file shared-mime-info desktop-file-utils appstream groff-base bash-completion parallel
    openssh-server openssh-client rsync
)
deb_packages=(dpkg-dev file shared-mime-info lintian desktop-file-utils appstream librsvg2-bin)
fuzz_packages=(clang libclang-rt-14-dev)

packages=("${run_packages[@]}")
case "$profile" in
run) ;;
test) packages+=("${test_packages[@]}") ;;
deb) packages+=("${deb_packages[@]}") ;;
fuzz) packages+=("${fuzz_packages[@]}") ;;
*)
    echo "usage: $0 [run|test|deb|fuzz]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

[ "$profile" = test ] || exit 0

# The tests run some cases under a comma locale and under English, German,
# Czech and Swedish collations. Torvi takes its locale data from ICU; the C
# library's copies let a shell (sort, printf, iconv) show the same orders.
need_gen=0
for loc in de_DE en_US cs_CZ sv_SE; do
    if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf8$"; then
        grep -q "^${loc}.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
            echo "${loc}.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
        need_gen=1
    fi
done
[ "$need_gen" -eq 0 ] || "${sudo_cmd[@]}" locale-gen >/dev/null
