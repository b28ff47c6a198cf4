#!/usr/bin/env bash
# Builds the fixtures of the quick search for lost partitions: disks whose partition table is
# gone while the boot sectors remain where the partitioning tool put them.
# Usage: tools/make_lost_images.sh [OUTDIR]   (default tests/data; writes OUTDIR/NAME.img.gz)
# Every image and what was done to it is described in OUTDIR/README.md.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

img_setup "${1:-$here/../tests/data}"
IMG_OUT=$(cd "$IMG_OUT" && pwd)
IMG_README_ORDER+=(lost_mbr_zeroed)

SCRIPT=make_lost_images.sh

# doc_boot_sectors FILE START...: one row per first sector, with the size its boot sector gives
# (NTFS: the 64-bit count at offset 40; FAT: the 32-bit count at offset 32, or the 16-bit one at
# offset 19 when that is 0).
doc_boot_sectors() {
  local file=$1 start base kind size sectors
  shift
  doc "| First sector | Boot sector | Size field | Sectors |" "|---|---|---|---|"
  for start in "$@"; do
    base=$((start * IMG_SECTOR))
    if [[ $(img_read_text "$file" $((base + 3)) 4) == NTFS ]]; then
      kind=NTFS
      size="offset 40 (8 bytes)"
      sectors=$(img_read_le "$file" $((base + 40)) 8)
    elif [[ $(img_read_text "$file" $((base + 82)) 5) == FAT32 ]]; then
      kind=FAT32
      size="offset 32 (4 bytes)"
      sectors=$(img_read_le "$file" $((base + 32)) 4)
    elif [[ $(img_read_text "$file" $((base + 54)) 5) == FAT16 ]]; then
      kind=FAT16
      sectors=$(img_read_le "$file" $((base + 32)) 4)
      size="offset 32 (4 bytes)"
      if ((sectors == 0)); then
        sectors=$(img_read_le "$file" $((base + 19)) 2)
        size="offset 19 (2 bytes)"
      fi
    else
      img_die "no boot sector at sector $start of $file"
    fi
    doc "| $start | $kind | $size | $sectors |"
  done
  doc ""
}

build_lost_mbr_zeroed() {
  local disk="$IMG_WORK/lost_mbr_zeroed.img" mnt="$IMG_WORK/mnt" chosen="" nr start type left
  local -a starts=()
  img_create "$disk" 64
  # Cylinder-style places (255 heads, 63 sectors per track, 16065 sectors per cylinder) for the
  # first NTFS and the extended partition, whose logical drive follows its boot record one track
  # on; the FAT32 partition on a 1 MiB boundary. -a none keeps parted from moving them.
  img_parted "$disk" -a none unit s mklabel msdos \
    mkpart primary ntfs 63s 16064s \
    mkpart primary fat32 32768s 102399s \
    mkpart extended 112455s 131071s \
    mkpart logical ntfs 112518s 131071s
  while read -r nr start type; do
    chosen+="${chosen:+, }$nr: $(printf '0x%02x' "$((type))")"
    ((type == 0x05 || type == 0x0f)) || starts+=("$start")
  done < <(partx -g -o NR,START,TYPE "$disk")
  img_set_disk_id "$disk" 0x5a1e0021
  img_mkntfs "$disk" 1 LOST_NTFS 0x5a1e002100000001
  img_mkfat "$disk" 2 32 LOST_FAT32 1 5a1e2102
  img_mkntfs "$disk" 5 LOST_LOGICAL 0x5a1e002100000005
  img_mount_ntfs "$disk" 1 "$mnt"
  gen_text 2101 3000 >"$mnt/notes.txt"
  img_umount_ntfs "$mnt"
  img_mount_ntfs "$disk" 5 "$mnt"
  mkdir "$mnt/Photos"
  gen_jpeg 2105 20000 >"$mnt/Photos/beach.jpg"
  img_umount_ntfs "$mnt"
  gen_text 2102 2000 >"$IMG_WORK/list.txt"
  img_fat_put "$disk" 2 "$IMG_WORK/list.txt" list.txt

  doc_begin lost_mbr_zeroed "$SCRIPT" "A disk whose master boot record was zeroed: an NTFS \
partition one track into cylinder 0, a FAT32 partition on a 1 MiB boundary, and an NTFS logical \
drive one track after its extended boot record at the start of cylinder 7. Only the boot \
sectors (and the extended boot record) remain to find them by."
  doc_fs 1 "NTFS (mkntfs), label LOST_NTFS, serial 0x5A1E002100000001: \`notes.txt\` (3000 bytes)"
  doc_fs 2 "FAT32 (mkfs.vfat -F 32 -s 1), label LOST_FAT32: \`list.txt\` (2000 bytes)"
  doc_fs 5 "NTFS (mkntfs), label LOST_LOGICAL, serial 0x5A1E002100000005: \`Photos/beach.jpg\` (20000 bytes)"
  doc_mbr_table "$disk"
  doc "parted (\`-a none unit s\`) wrote the types $chosen. The partitions were placed as" \
    "pre-2008 tools placed them: with 255 heads of 63 sectors, cylinder c starts at sector" \
    "16065 × c, so sector 63 is one track into cylinder 0 and the extended boot record at" \
    "112455 starts cylinder 7 with its logical drive one track on, at 112518. The FAT32" \
    "partition starts at 32768 (16 MiB), which is not a cylinder place." ""

  dd if=/dev/zero of="$disk" bs=512 seek=0 count=1 conv=notrunc status=none
  left=$(dd if="$disk" bs=512 count=1 status=none | tr -d '\0' | wc -c)
  ((left == 0)) || img_die "sector 0 of $disk still holds $left non-zero bytes"
  doc "Patched after the build: sector 0 was zeroed entirely (\`dd if=/dev/zero seek=0" \
    "count=1\`), so neither a table nor the 0x55AA signature remains there. The extended boot" \
    "record at 112455 is untouched, but nothing leads to it." ""
  doc "Boot sectors that remain, with the size each one gives (what a search for lost" \
    "partitions should list; an NTFS boot sector counts the volume's sectors less one):" ""
  doc_boot_sectors "$disk" "${starts[@]}"
  doc_code "\`mmls\` after the patch (no table left to read):" mmls "$disk"
  doc_code "\`fsstat -o 63\` (first lines):" sh -c "fsstat -o 63 '$disk' | head -n 12"
  doc_end
  img_finish "$disk"
}

build_lost_mbr_zeroed
