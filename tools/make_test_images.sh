#!/usr/bin/env bash
# Builds the small partition-table fixtures (MBR, extended chains, GPT, damaged tables).
# Usage: tools/make_test_images.sh [OUTDIR]   (default tests/data; writes OUTDIR/NAME.img.gz)
# Every image and what was done to it is described in OUTDIR/README.md.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

img_setup "${1:-$here/../tests/data}"
IMG_OUT=$(cd "$IMG_OUT" && pwd)

SCRIPT=make_test_images.sh
NTFS_MKFS="NTFS (mkntfs)"
FAT16_MKFS="FAT16 (mkfs.vfat -F 16 -s 4)"
FAT32_MKFS="FAT32 (mkfs.vfat -F 32 -s 1)"

# parted_types FILE: the type bytes parted chose, in partition order (before any retyping).
parted_types() {
  local nr type sep=""
  while read -r nr type; do
    printf '%s%d: 0x%02x' "$sep" "$nr" "$((type))"
    sep=", "
  done < <(partx -g -o NR,TYPE "$1")
}

# ebr_sectors FILE: the sector of every extended boot record, in chain order (from mmls).
ebr_sectors() {
  mmls "$1" | awk '/Extended Table \(#/ {print $3 + 0}'
}

build_mbr_ntfs_only() {
  local disk="$IMG_WORK/mbr_ntfs_only.img" mnt="$IMG_WORK/mnt"
  img_create "$disk" 16
  img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB 15MiB
  img_set_disk_id "$disk" 0x5a1e0001
  img_mkntfs "$disk" 1 SMOKE 0x5a1e000100000001
  img_mount_ntfs "$disk" 1 "$mnt"
  gen_text 500 300 >"$mnt/hello.txt"
  mkdir "$mnt/Folder"
  gen_text 501 10000 >"$mnt/Folder/report.txt"
  gen_text 502 5000 >"$mnt/old.txt"
  local sums
  sums=$(cd "$mnt" && sha256sum hello.txt Folder/report.txt old.txt)
  rm "$mnt/old.txt"
  img_umount_ntfs "$mnt"

  doc_begin mbr_ntfs_only "$SCRIPT" "One NTFS partition at sector 2048, for smoke tests."
  doc_fs 1 "NTFS, label SMOKE, serial 0x5A1E000100000001: \`hello.txt\` (300 bytes, resident), \`Folder/report.txt\` (10000 bytes); \`old.txt\` (5000 bytes) written then deleted"
  doc_mbr_table "$disk"
  doc "Contents (sha256 of the bytes written; \`old.txt\` was deleted after):" "" '```' "$sums" '```' ""
  doc_code "\`fls -r -p -o 2048\`:" fls -r -p -o 2048 "$disk"
  doc_end
  img_finish "$disk"
}

build_mbr_primaries() {
  local disk="$IMG_WORK/mbr_primaries.img" chosen
  img_create "$disk" 64
  img_parted "$disk" mklabel msdos \
    mkpart primary fat16 1MiB 17MiB \
    mkpart primary fat32 17MiB 51MiB \
    mkpart primary ntfs 51MiB 59MiB \
    mkpart primary ext4 59MiB 63MiB
  chosen=$(parted_types "$disk")
  img_set_disk_id "$disk" 0x5a1e0002
  img_set_type "$disk" 1 06
  img_set_type "$disk" 2 0c
  img_set_type "$disk" 3 07
  img_set_type "$disk" 4 83
  img_mkfat "$disk" 1 16 PRIM_FAT16 4 5a1e0201
  img_mkfat "$disk" 2 32 PRIM_FAT32 1 5a1e0202
  img_mkntfs "$disk" 3 PRIM_NTFS 0x5a1e000200000003

  doc_begin mbr_primaries "$SCRIPT" "Four primary partitions: FAT16, FAT32, NTFS, and a Linux \
(0x83) partition that holds no filesystem and must not be listed."
  doc_fs 1 "$FAT16_MKFS, label PRIM_FAT16"
  doc_fs 2 "$FAT32_MKFS, label PRIM_FAT32"
  doc_fs 3 "$NTFS_MKFS, label PRIM_NTFS, serial 0x5A1E000200000003"
  doc_fs 4 "nothing (all zero)"
  doc_mbr_table "$disk"
  doc "parted wrote the types $chosen; they were then set with \`sfdisk --part-type\`" \
    "to 0x06, 0x0c, 0x07, 0x83." ""
  doc_end
  img_finish "$disk"
}

build_mbr_extended() {
  local disk="$IMG_WORK/mbr_extended.img" chosen
  img_create "$disk" 72
  img_parted "$disk" mklabel msdos \
    mkpart primary ntfs 1MiB 9MiB \
    mkpart extended 9MiB 71MiB \
    mkpart logical fat16 10MiB 26MiB \
    mkpart logical ntfs 27MiB 35MiB \
    mkpart logical fat32 36MiB 70MiB
  chosen=$(parted_types "$disk")
  img_set_disk_id "$disk" 0x5a1e0003
  img_set_type "$disk" 5 06
  img_mkntfs "$disk" 1 EXT_NTFS1 0x5a1e000300000001
  img_mkfat "$disk" 5 16 EXT_FAT16 4 5a1e0305
  img_mkntfs "$disk" 6 EXT_NTFS2 0x5a1e000300000006
  img_mkfat "$disk" 7 32 EXT_FAT32 1 5a1e0307

  doc_begin mbr_extended "$SCRIPT" "One primary NTFS and an extended partition (0x0f) with three \
logical drives: FAT16, NTFS, FAT32."
  doc_fs 1 "$NTFS_MKFS, label EXT_NTFS1, serial 0x5A1E000300000001"
  doc_fs 5 "$FAT16_MKFS, label EXT_FAT16"
  doc_fs 6 "$NTFS_MKFS, label EXT_NTFS2, serial 0x5A1E000300000006"
  doc_fs 7 "$FAT32_MKFS, label EXT_FAT32"
  doc_mbr_table "$disk"
  doc "parted wrote the types $chosen; partition 5 was then set to 0x06 with" \
    "\`sfdisk --part-type\`. parted puts the first EBR at the extended partition's first sector" \
    "and each later EBR 128 sectors before its logical drive; every EBR's second entry links to" \
    "the next EBR (type 0x05, start relative to the extended partition)." ""
  doc_end
  img_finish "$disk"
}

build_mbr_many_logical() {
  local disk="$IMG_WORK/mbr_many_logical.img" chosen k
  local -a args=(mklabel msdos mkpart extended 1MiB 61MiB)
  for ((k = 0; k < 30; k++)); do
    args+=(mkpart logical "$((2 + 2 * k))MiB" "$((3 + 2 * k))MiB")
  done
  img_create "$disk" 64
  img_parted "$disk" "${args[@]}"
  chosen=$(parted_types "$disk" | cut -d, -f1-3)
  img_set_disk_id "$disk" 0x5a1e0004
  for ((k = 5; k < 35; k++)); do
    img_set_type "$disk" "$k" 0c
  done

  doc_begin mbr_many_logical "$SCRIPT" "An extended partition with 30 logical drives of type 0x0c, \
1 MiB each, all unformatted (every sector zero)."
  doc_mbr_table "$disk"
  doc "parted wrote the types $chosen, ... (0x83 for every logical drive); the logical" \
    "drives were then set to 0x0c with \`sfdisk --part-type\`." ""
  doc_end
  img_finish "$disk"
}

build_mbr_type_mismatch() {
  local disk="$IMG_WORK/mbr_type_mismatch.img" chosen
  img_create "$disk" 80
  img_parted "$disk" mklabel msdos \
    mkpart primary fat32 1MiB 35MiB \
    mkpart primary fat32 35MiB 69MiB \
    mkpart primary ntfs 69MiB 73MiB \
    mkpart primary 73MiB 77MiB
  chosen=$(parted_types "$disk")
  img_set_disk_id "$disk" 0x5a1e0005
  img_set_type "$disk" 1 07
  img_set_type "$disk" 2 83
  img_set_type "$disk" 3 07
  img_set_type "$disk" 4 01
  img_mkfat "$disk" 1 32 MIS_FAT32_A 1 5a1e0501
  img_mkfat "$disk" 2 32 MIS_FAT32_B 1 5a1e0502

  doc_begin mbr_type_mismatch "$SCRIPT" "Table types that disagree with the volumes: an NTFS-typed \
entry holding FAT32, a Linux-typed entry holding FAT32, an NTFS-typed entry and a FAT12-typed \
(0x01) entry whose first sectors are blank."
  doc_fs 1 "$FAT32_MKFS, label MIS_FAT32_A (type byte says NTFS)"
  doc_fs 2 "$FAT32_MKFS, label MIS_FAT32_B (type byte says Linux)"
  doc_fs 3 "nothing (all zero)"
  doc_fs 4 "nothing (all zero)"
  doc_mbr_table "$disk"
  doc "parted wrote the types $chosen; they were then set with \`sfdisk --part-type\`" \
    "to 0x07, 0x83, 0x07, 0x01." ""
  doc_end
  img_finish "$disk"
}

build_mbr_chain_type1() {
  local disk="$IMG_WORK/mbr_chain_type1.img" chosen
  img_create "$disk" 8
  img_parted "$disk" mklabel msdos \
    mkpart extended 1MiB 7MiB \
    mkpart logical 2MiB 6MiB
  chosen=$(parted_types "$disk")
  img_set_disk_id "$disk" 0x5a1e0006
  img_set_type "$disk" 5 01

  doc_begin mbr_chain_type1 "$SCRIPT" "An extended partition whose only logical drive has type \
0x01 and a blank (all-zero) first sector."
  doc_fs 5 "nothing (all zero)"
  doc_mbr_table "$disk"
  doc "parted wrote the types $chosen; the logical drive was then set to 0x01 with" \
    "\`sfdisk --part-type\`." ""
  doc_end
  img_finish "$disk"
}

build_mbr_loop_chain() {
  local disk="$IMG_WORK/mbr_loop_chain.img" ext_start first_end link at
  local -a ebrs
  img_create "$disk" 24
  img_parted "$disk" mklabel msdos \
    mkpart extended 1MiB 23MiB \
    mkpart logical ntfs 2MiB 6MiB \
    mkpart logical ntfs 7MiB 11MiB \
    mkpart logical ntfs 12MiB 16MiB
  img_set_disk_id "$disk" 0x5a1e0007
  img_mkntfs "$disk" 5 LOOP_A 0x5a1e000700000005
  img_mkntfs "$disk" 6 LOOP_B 0x5a1e000700000006
  img_mkntfs "$disk" 7 LOOP_C 0x5a1e000700000007

  doc_begin mbr_loop_chain "$SCRIPT" "An extended chain of three logical NTFS drives whose last \
extended boot record links back to the first one, so a naive walk never ends."
  doc_fs 5 "$NTFS_MKFS, label LOOP_A, serial 0x5A1E000700000005"
  doc_fs 6 "$NTFS_MKFS, label LOOP_B, serial 0x5A1E000700000006"
  doc_fs 7 "$NTFS_MKFS, label LOOP_C, serial 0x5A1E000700000007"
  doc_mbr_table "$disk"

  mapfile -t ebrs < <(ebr_sectors "$disk")
  ((${#ebrs[@]} == 3)) || img_die "expected 3 EBRs, mmls found ${#ebrs[@]}"
  img_part "$disk" 1
  ext_start=$PART_START
  img_part "$disk" 5
  first_end=$((PART_START + PART_SECTORS))
  # Entry 1 of the last EBR (normally zero, ending the chain) becomes a link: status 0x00, CHS
  # FE FF FF (beyond CHS reach), type 0x05, CHS FE FF FF, first sector 0 relative to the
  # extended partition (that is, the first EBR), count = the first EBR's span.
  at=$((ebrs[2] * IMG_SECTOR + 446 + 16))
  link="00feffff05feffff$(img_le 4 0)$(img_le 4 $((first_end - ext_start)))"
  img_write_bytes "$disk" "$at" "$link"
  doc "Patched after the build: the 16-byte entry 1 of the last EBR (sector ${ebrs[2]}, bytes" \
    "$at to $((at + 15)) of the disk, i.e. sector offset 462) was zero and now reads" \
    "\`$(xxd -s "$at" -l 16 -p "$disk")\`: status 0x00, CHS FE FF FF, type 0x05, CHS FE FF FF," \
    "first sector 0 (relative to the extended partition at $ext_start, so it names the first" \
    "EBR at sector ${ebrs[0]}), sector count $((first_end - ext_start)) (the first EBR's span" \
    "up to the end of logical drive 1). Each logical drive still appears once before the walk" \
    "comes back to the first EBR." ""
  doc_code "\`mmls\` after the patch:" mmls "$disk"
  doc_end
  img_finish "$disk"
}

build_mbr_at_61() {
  local disk="$IMG_WORK/mbr_at_61.img"
  img_create "$disk" 64
  img_parted "$disk" mklabel msdos \
    mkpart primary ntfs 1MiB 17MiB \
    mkpart primary fat32 17MiB 51MiB
  img_set_disk_id "$disk" 0x5a1e0008
  img_mkntfs "$disk" 1 AT61_NTFS 0x5a1e000800000001
  img_mkfat "$disk" 2 32 AT61_FAT32 1 5a1e0802

  doc_begin mbr_at_61 "$SCRIPT" "A normal MBR disk whose sector 0 was moved to sector 61 and \
wiped, so no table (and no 0x55AA signature) is found at sector 0."
  doc_fs 1 "$NTFS_MKFS, label AT61_NTFS, serial 0x5A1E000800000001"
  doc_fs 2 "$FAT32_MKFS, label AT61_FAT32"
  doc_mbr_table "$disk"
  dd if="$disk" of="$disk" bs=512 skip=0 seek=61 count=1 conv=notrunc status=none
  dd if=/dev/zero of="$disk" bs=512 seek=0 count=1 conv=notrunc status=none
  doc "Patched after the build: sector 0 was copied to sector 61 (\`dd skip=0 seek=61" \
    "count=1\`), then sector 0 was zeroed entirely. Sector 61 now holds the table above and" \
    "ends in \`$(xxd -s $((61 * 512 + 510)) -l 2 -p "$disk")\`; sector 0 holds" \
    "$(dd if="$disk" bs=512 count=1 status=none | tr -d '\0' | wc -c) non-zero bytes. The table's" \
    "sector numbers are still absolute (relative to the disk's sector 0)." ""
  doc_code "\`mmls\` after the patch:" mmls "$disk"
  doc_code "\`mmls -o 61\` after the patch (TSK reads the table at sector 61 but adds 61 to every address):" \
    mmls -o 61 "$disk"
  doc_end
  img_finish "$disk"
}

# gpt_layout FILE ID: the GPT disk shared by gpt_basic and gpt_damaged_primary, with fixed
# disk and partition GUIDs ending in ID.
gpt_layout() {
  local disk=$1 id=$2
  img_create "$disk" 64
  img_parted "$disk" mklabel gpt \
    mkpart DATA_NTFS ntfs 1MiB 17MiB \
    mkpart DATA_FAT32 fat32 17MiB 51MiB \
    mkpart LINUX ext4 51MiB 59MiB
  # (sgdisk ignores the GUID options when given -q, so its chatter is dropped instead.)
  sgdisk -U "5A1E0000-0000-4000-8000-0000000000$id" \
    -u "1:5A1E0001-0000-4000-8000-0000000000$id" \
    -u "2:5A1E0002-0000-4000-8000-0000000000$id" \
    -u "3:5A1E0003-0000-4000-8000-0000000000$id" "$disk" >/dev/null
  img_mkntfs "$disk" 1 GPT_NTFS "0x5a1e00${id}00000001"
  img_mkfat "$disk" 2 32 GPT_FAT32 1 "5a1e${id}02"
  doc_fs 1 "$NTFS_MKFS, label GPT_NTFS, serial 0x5A1E00${id}00000001"
  doc_fs 2 "$FAT32_MKFS, label GPT_FAT32"
  doc_fs 3 "nothing (all zero)"
}

build_gpt_basic() {
  local disk="$IMG_WORK/gpt_basic.img"
  doc_begin gpt_basic "$SCRIPT" "A GPT disk with an NTFS partition, a FAT32 partition (both \
Microsoft basic data, as parted marks ntfs and fat32) and an unformatted Linux filesystem \
partition that must not be listed."
  gpt_layout "$disk" 09
  doc_gpt_table "$disk"
  doc "Disk GUID and partition GUIDs were fixed with \`sgdisk -U/-u\` (5A1E000N-...-000000000009)." ""
  doc_end
  img_finish "$disk"
}

build_gpt_damaged_primary() {
  local disk="$IMG_WORK/gpt_damaged_primary.img" at=$((512 + 56)) before
  doc_begin gpt_damaged_primary "$SCRIPT" "The gpt_basic layout with a corrupt primary GPT header: \
its CRC32 no longer matches, while the protective MBR, the backup header in the last sector and \
the backup entries are intact."
  gpt_layout "$disk" 10
  doc_gpt_table "$disk"
  before=$(xxd -s "$at" -l 4 -p "$disk")
  # Invert the first four bytes of the disk GUID in the primary header (LBA 1, offset 56): the
  # header's CRC32 (offset 16) no longer matches; signature, LBAs and entry CRC stay as they were.
  img_write_bytes "$disk" "$at" "$(printf '%08x' $((0x$before ^ 0xffffffff)))"
  doc "Patched after the build: bytes $at to $((at + 3)) of the disk (LBA 1, header offset 56 to" \
    "59, the start of the disk GUID) were inverted, \`$before\` -> \`$(xxd -s "$at" -l 4 -p "$disk")\`," \
    "so the primary header's CRC32 (offset 16, still \`$(xxd -s $((512 + 16)) -l 4 -p "$disk")\`)" \
    "fails. The primary entry array (LBA 2 to 33), the protective MBR, the backup entries and" \
    "the backup header (LBA $(($(stat -c %s "$disk") / 512 - 1))) are untouched." ""
  doc_code "\`sgdisk -v\` after the patch:" sgdisk -v "$(basename "$disk")"
  doc_code "\`mmls\` after the patch (The Sleuth Kit still reads the primary header and table):" \
    mmls "$disk"
  doc_end
  img_finish "$disk"
}

build_mbr_ntfs_only
build_mbr_primaries
build_mbr_extended
build_mbr_many_logical
build_mbr_type_mismatch
build_mbr_chain_type1
build_mbr_loop_chain
build_mbr_at_61
build_gpt_basic
build_gpt_damaged_primary
