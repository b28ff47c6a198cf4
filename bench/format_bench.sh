#!/usr/bin/env bash
# The Standard Scan (salvex-cli list) of one volume read from the raw image and from its copies
# in each image format, and the Advance Scan's sweep of the whole disk (every sector read, in
# runs of 60 sectors), every file in the page cache; the best of RUNS runs each (wall-clock
# time; MEASURE=cpu for processor time), and its ratio to the raw image's time; a format whose
# list or sweep takes more than 1.5 times the raw image's is marked "slow".
# Last measured (best of 5, wall-clock, a quiet 2-core machine): raw list 0.25 s, sweep 0.18 s;
# list/sweep ratios E01 1.36/1.83, E01 segments 1.20/1.72, VHD fixed 1.04/1.00, VHD dynamic
# 8.28/12.5 (libvhdi reads a dynamic VHD sector by sector), VHDX 1.12/1.00, VMDK sparse
# 1.20/1.17, flat 1.12/1.06, QCOW2 1.32/1.33, compressed 1.40/1.67, split 1.04/1.11. The sweeps of
# the E01 and compressed copies keep both cores busy in zlib (see README, "Disk images").
#   bench/format_bench.sh BUILD_DIR [IMAGE [RUNS]]
# Without IMAGE, the volume of 100,000 MFT records is built once with
# `tools/build_images.py bench-volume` (needs root and FUSE) and kept in BUILD_DIR/bench-volume.img.
# The copies are made by `tools/build_images.py convert` into BUILD_DIR/bench-formats and kept
# while IMAGE is unchanged.
set -euo pipefail
build=${1:?usage: format_bench.sh BUILD_DIR [IMAGE [RUNS]]}
image=${2:-$build/bench-volume.img}
runs=${3:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
cli=$build/cli/salvex-cli
formats=$build/bench-formats

if [ ! -f "$image" ]; then
    echo "Building $image (a few minutes, once)..."
    "$here/tools/build_images.py" bench-volume "$image"
fi
if [ ! -f "$formats/made" ] || [ "$image" -nt "$formats/made" ]; then
    echo "Converting $image into every format (once)..."
    rm -rf "$formats"
    mkdir -p "$formats"
    "$here/tools/build_images.py" convert "$image" "$formats" > "$formats/made.partial"
    mv "$formats/made.partial" "$formats/made"
fi

# The best time in seconds of `salvex-cli ARGS...`: wall-clock time, what a person waits, which
# the image libraries' read-ahead shortens on a second core; MEASURE=cpu for processor time
# (user and system), which a machine busy with other work disturbs less.
best_time() {
    local best="" t format="%e 0"
    [ "${MEASURE:-wall}" = cpu ] && format="%U %S"
    for _ in $(seq "$runs"); do
        t=$( { /usr/bin/time -f "$format" "$cli" "$@" > /dev/null; } 2>&1 | awk '{ print $1 + $2 }')
        if [ -z "$best" ] || awk "BEGIN { exit !($t < $best) }"; then best=$t; fi
    done
    echo "$best"
}

ratio() { awk "BEGIN { printf \"%.2f\", $1 / ($2 > 0 ? $2 : 0.01) }"; }

sectors=$("$cli" drives "$image" | tail -n 1 | cut -f 6)
cat "$image" "$formats"/* > /dev/null
raw_list=$(best_time list --quiet "$image" --partition 1)
raw_sweep=$(best_time sweep --quiet "$image" --start 0 --end "$sectors")
printf "%-18s %10s %7s %10s %7s   (%s seconds)\n" format list "x raw" sweep "x raw" "${MEASURE:-wall}"
printf "%-18s %10s %7s %10s %7s\n" raw "$raw_list" 1.00 "$raw_sweep" 1.00
while IFS=$'\t' read -r name first reason; do
    if [ -z "$first" ]; then
        printf "%-18s skipped: %s\n" "$name" "$reason"
        continue
    fi
    list=$(best_time list --quiet "$first" --partition 1)
    sweep=$(best_time sweep --quiet "$first" --start 0 --end "$sectors")
    list_ratio=$(ratio "$list" "$raw_list")
    sweep_ratio=$(ratio "$sweep" "$raw_sweep")
    slow=$(awk "BEGIN { if ($list_ratio > 1.5 || $sweep_ratio > 1.5) print \"slow\" }")
    printf "%-18s %10s %7s %10s %7s   %s\n" "$name" "$list" "$list_ratio" "$sweep" "$sweep_ratio" \
        "$slow"
done < "$formats/made"
