#!/usr/bin/env bash
# Builds a disk for recovery benchmarks (not committed: the image is big, and quick to rebuild).
# An MBR disk with one NTFS partition at sector 2048 holding /fragmented.bin, MIB mebibytes of
# deterministic pseudo-random bytes in hundreds of runs. The volume is first filled to the last
# cluster with spacer files of 64 KiB + HOLE_KIB; each is then cut back to 64 KiB, which frees
# its tail, a hole between its own first clusters and those of the spacer that follows it on
# the disk. /fragmented.bin is written into these holes, one run per hole. ntfs-3g keeps a run
# list that long in extension records listed in an $ATTRIBUTE_LIST.
# Usage: tools/make_bench_fragmented.sh OUT.img [MIB [HOLE_KIB]]   (defaults 512 and 1024)
# Writes OUT.img (sparse; copy it with cp --sparse=always) and OUT.img.sha256, the SHA-256 of
# /fragmented.bin as written, in the format of sha256sum. Prints the file's MFT record number
# and run count (from istat) at the end. Needs root, loop devices, FUSE and python3.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

(($# >= 1)) || img_die "usage: $0 OUT.img [MIB [HOLE_KIB]]"
out=$1
size_mib=${2:-512}
hole_kib=${3:-1024}
keep_kib=64
((size_mib > 0 && hole_kib >= 4 && hole_kib % 4 == 0)) ||
  img_die "MIB must be positive and HOLE_KIB a positive multiple of 4"
command -v python3 >/dev/null || img_die "python3 is missing"
img_setup "$(dirname "$out")"
disk="$out.partial"
# A failed build leaves no half-written image behind.
trap 'img_cleanup; status=$?; rm -f "$disk"; exit $status' EXIT

start_ns=$(date +%s%N)
mnt="$IMG_WORK/mnt"
# Holes for the file and 5% more, the spacers kept between them, and room for $LogFile, $MFT
# and the other metadata files.
holes=$((size_mib * 1024 * 21 / (hole_kib * 20) + 1))
mib=$((holes * (hole_kib + keep_kib) / 1024 + 48))
img_create "$disk" "$mib"
img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB "$((mib - 1))MiB"
img_set_disk_id "$disk" 0x5a1eb002
img_mkntfs "$disk" 1 BENCH_FRAG 0x5a1eb00200000001
img_mount_ntfs_opts noatime "$disk" 1 "$mnt"

# Holes made by freeing whole files could touch wherever ntfs-3g placed two of them side by
# side; a freed tail always has the rest of its own file before it. The file's bytes come from Python's seeded Mersenne Twister (random.Random(seed).randbytes),
# the same on every Python from 3.9 on; its SHA-256 is taken from the bytes as they are written.
sum=$(
  python3 - "$mnt" "$size_mib" "$hole_kib" "$keep_kib" <<'PY'
import errno
import hashlib
import os
import random
import sys

root, size_mib, hole, keep = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
os.mkdir(os.path.join(root, "spacers"))
zeros = bytes((keep + hole) * 1024)
made = []
while True:
    path = os.path.join(root, "spacers", "spacer-%05d.dat" % len(made))
    try:
        with open(path, "wb") as f:
            f.write(zeros)
    except OSError as e:
        if e.errno != errno.ENOSPC:
            raise
        if os.path.exists(path):
            os.unlink(path)
        break
    made.append(path)
for path in made:
    os.truncate(path, keep * 1024)
freed = len(made) * hole
print("filled the volume with %d spacers; cutting them back freed %d KiB" % (len(made), freed),
      file=sys.stderr)
if freed < size_mib * 1024:
    sys.exit("too few holes for a %d MiB file" % size_mib)
gen = random.Random(0x5A1EB002)
digest = hashlib.sha256()
with open(os.path.join(root, "fragmented.bin"), "wb") as f:
    for _ in range(size_mib):
        data = gen.randbytes(1 << 20)
        digest.update(data)
        f.write(data)
print(digest.hexdigest())
PY
)
record=$(stat -c %i "$mnt/fragmented.bin")
size=$(stat -c %s "$mnt/fragmented.bin")
img_umount_ntfs "$mnt"
# Every loop device this script attached is detached now. img_cleanup would detach each one again
# at exit if still listed, and by then another process may have been given the same device.
IMG_LOOPS=()

img_part "$disk" 1
# Every run of the file's $DATA, from all its extension records.
runs=$(istat -r -o "$PART_START" "$disk" "$record" | awk '
  /^Type: / { on = ($2 == "$DATA" && $5 == "N/A"); next }
  on && /Starting address:/ { n++ } END { print n + 0 }')
# It needs MIB * 1024 / HOLE_KIB holes (a hole ntfs-3g splits or joins with free space left over
# from the filling shifts the count a little).
((runs >= size_mib * 1024 / hole_kib / 2)) || img_die "/fragmented.bin lies in only $runs runs"
mv "$disk" "$out"
echo "$sum  /fragmented.bin" >"$out.sha256"
echo "image: $out ($(stat -c %s "$out") bytes, $(du -k "$out" | cut -f1) KiB on disk)"
echo "partition start: $PART_START (sector), $PART_SECTORS sectors"
echo "file: /fragmented.bin, $size bytes, sha256 $sum (also in $out.sha256)"
echo "MFT record: $record"
echo "runs: $runs"
elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))
printf 'built in %d.%03d s\n' $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
