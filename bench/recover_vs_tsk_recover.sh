#!/usr/bin/env bash
# Recovery of a whole volume of 1,500 files of mixed sizes in nested folders with salvex-cli
# beside `tsk_recover -a` of The Sleuth Kit, both reading the image from the page cache: one
# warm-up run each, then the best of three; prints both times and their ratio, then checks that
# both wrote the same files with the same bytes (salvex-cli also writes the file system's own
# files, which tsk_recover leaves out) and that the report's hashes are the builder's.
#   bench/recover_vs_tsk_recover.sh BUILD_DIR [IMAGE [PARENT]]
# Without IMAGE, the disk is built once with `tools/build_images.py bench-many-files` (needs
# root and FUSE) and kept in BUILD_DIR/bench-many-files.img. The runs write into a new folder in
# PARENT (default /tmp), removed at the end. On ext4, run it again only a few minutes later:
# files just deleted slow down the creation of new ones for both tools alike.
set -euo pipefail
build=${1:?usage: recover_vs_tsk_recover.sh BUILD_DIR [IMAGE [PARENT]]}
image=${2:-$build/bench-many-files.img}
parent=${3:-/tmp}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/cli/salvex-cli"
work=$(mktemp -d "$parent/salvex-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ ! -f "$image" ]; then
    echo "Building $image (about half a minute, once)..."
    "$here/tools/build_images.py" bench-many-files "$image"
fi
command -v tsk_recover >/dev/null || { echo "tsk_recover not found: apt-get install sleuthkit" >&2; exit 1; }
[ -x "$cli" ] || { echo "$cli not found: build it first (make build)" >&2; exit 1; }
start=$(sfdisk -d "$image" 2>/dev/null | awk -F'[=,]' '/start=/{gsub(/ /,"",$2); print $2; exit}')

# Each run writes into a folder of its own, and every folder stays until the end: files just
# deleted make a new file's creation on ext4 several times slower (it steps over their inodes
# for a minute), which would time the file system rather than the tools.
run_salvex() {
    "$cli" recover --quiet "$image" --partition 1 --to "$1" --report "$work/report.tsv" \
        > "$work/salvex.out" 2> "$work/salvex.err"
}
run_tsk() {
    mkdir "$1"
    tsk_recover -a -o "$start" "$image" "$1" > "$work/tsk.out"
}
# Best of three after a warm-up, in milliseconds; what the run before wrote is on the disk
# before the clock starts.
best_of_three() {
    local run=$1 name=$2 best="" t0 t1 ms
    for attempt in 0 1 2 3; do
        sync
        t0=$(date +%s%N)
        "$run" "$work/$name-$attempt"
        t1=$(date +%s%N)
        ms=$(( (t1 - t0) / 1000000 ))
        [ "$attempt" = 0 ] && continue # the warm-up
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}

cat "$image" > /dev/null # into the page cache
tsk_ms=$(best_of_three run_tsk tsk)
salvex_ms=$(best_of_three run_salvex salvex)
awk -v s="$salvex_ms" -v t="$tsk_ms" 'BEGIN {
    printf "tsk_recover time  %.3f s\nsalvex time       %.3f s\nratio (salvex / tsk_recover) %.2f\n",
           t / 1000, s / 1000, s / t }'

status=0
(cd "$work/tsk-3" && find . -type f | sort) > "$work/tsk.files"
# The file system's own files: those of the root whose names start with $, and $Extend's.
(cd "$work/salvex-3" && find . -type f | grep -v -e '^\./\$[^/]*$' -e '^\./\$Extend/' | sort) \
    > "$work/salvex.files"
if ! cmp -s "$work/tsk.files" "$work/salvex.files"; then
    echo "MISMATCH: salvex and tsk_recover wrote different files:"
    diff "$work/tsk.files" "$work/salvex.files" | head -20
    status=1
fi
differing=0
while IFS= read -r f; do
    cmp -s "$work/tsk-3/$f" "$work/salvex-3/$f" || { echo "MISMATCH: $f"; differing=$((differing + 1)); }
done < <(comm -12 "$work/tsk.files" "$work/salvex.files")
[ "$differing" -eq 0 ] || status=1
echo "$(wc -l < "$work/tsk.files") files compared, $differing with other bytes"
# The builder notes each file's hash as written; the report's hashes must be those.
if [ -f "$image.sha256" ]; then
    wrong=$(awk -F'\t' 'NR == FNR { split($0, a, "  "); want[a[2]] = a[1]; next }
                        $1 == "written" && ($6 in want) { seen++; if (want[$6] != $3) bad++ }
                        END { if (seen != length(want)) bad += length(want) - seen; print bad + 0 }' \
        "$image.sha256" "$work/report.tsv")
    [ "$wrong" -eq 0 ] || { echo "MISMATCH: $wrong report hashes differ from the builder's"; status=1; }
fi
[ "$status" -ne 0 ] || echo "same files, same bytes, report hashes as built"
exit "$status"
