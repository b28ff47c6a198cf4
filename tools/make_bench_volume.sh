#!/usr/bin/env bash
# Builds a large NTFS volume for scan benchmarks (not committed: the image is big, and quick to
# rebuild). An MBR disk with one NTFS partition at sector 2048 whose $MFT holds more than 100,000
# records: FILES small files spread over FOLDERS folders, written by one python3 process through
# an ntfs-3g mount; then one file in 20 of every folder and every 100th folder (with its files)
# are deleted, and nothing is created after, so their records stay as they were.
# Usage: tools/make_bench_volume.sh OUT.img [FILES [FOLDERS]]   (defaults 100000 and 1000)
# Needs root, loop devices, FUSE and python3. The image is sparse; copy it with cp --sparse=always.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

(($# >= 1)) || img_die "usage: $0 OUT.img [FILES [FOLDERS]]"
out=$1
files=${2:-100000}
folders=${3:-1000}
((files > 0 && folders > 0)) || img_die "FILES and FOLDERS must be positive"
command -v python3 >/dev/null || img_die "python3 is missing"
img_setup "$(dirname "$out")"
disk="$out.partial"
# A failed build leaves no half-written image behind.
trap 'img_cleanup; status=$?; rm -f "$disk"; exit $status' EXIT

start_ns=$(date +%s%N)
mnt="$IMG_WORK/mnt"
# About 1.1 KiB of MFT and index per file, plus room for the MFT zone and the non-resident files.
mib=$((64 + files * 3 / 1000))
img_create "$disk" "$mib"
img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB "$((mib - 1))MiB"
img_set_disk_id "$disk" 0x5a1eb001
img_mkntfs "$disk" 1 BENCH 0x5a1eb00100000001
img_mount_ntfs_opts noatime "$disk" 1 "$mnt"

# File N is file N // FOLDERS of folder N % FOLDERS; most hold 20 to 400 bytes (resident in
# their record), every 100th 5000 bytes (non-resident).
python3 - "$mnt" "$files" "$folders" <<'EOF'
import os
import shutil
import sys

root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
line = b"bench file %07d in folder %04d: scan timing data\n"
for d in range(folders):
    os.mkdir(os.path.join(root, "folder-%04d" % d))
for n in range(files):
    d = n % folders
    body = line % (n, d)
    size = 5000 if n % 100 == 99 else 20 + (n * 37) % 381
    data = (body * (size // len(body) + 1))[:size]
    fd = os.open(os.path.join(root, "folder-%04d" % d, "file-%07d.txt" % n),
                 os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    os.write(fd, data)
    os.close(fd)
deleted = 0
for n in range(files):
    d = n % folders
    if (n // folders) % 20 == 7 and d % 100 != 50:
        os.unlink(os.path.join(root, "folder-%04d" % d, "file-%07d.txt" % n))
        deleted += 1
gone_folders = 0
for d in range(50, folders, 100):
    path = os.path.join(root, "folder-%04d" % d)
    deleted += len(os.listdir(path))
    shutil.rmtree(path)
    gone_folders += 1
print("created %d files in %d folders; deleted %d files and %d of the folders"
      % (files, folders, deleted, gone_folders))
EOF
img_umount_ntfs "$mnt"
mv "$disk" "$out"

img_part "$out" 1
mft_bytes=$(istat -o "$PART_START" "$out" 0 | awk '$2 == "$DATA" && !done {
  for (i = 1; i <= NF; i++) if ($i == "size:") print $(i + 1); done = 1 }')
echo "image: $out ($(stat -c %s "$out") bytes, $(du -k "$out" | cut -f1) KiB on disk)"
echo "partition start: $PART_START (sector), $PART_SECTORS sectors"
echo "MFT records: $((mft_bytes / 1024))"
elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))
printf 'built in %d.%03d s\n' $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
