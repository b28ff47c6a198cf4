#!/usr/bin/env bash
# Builds the demo disk: a 128 MiB MBR disk with
#   1. a primary NTFS volume holding nested folders and a few dozen files, some of them (and one
#      whole folder) deleted afterwards so the MFT keeps their records;
#   2. a primary FAT32 volume with a couple of files;
#   3. an extended partition holding one logical NTFS volume with a few files, one deleted;
# and, in the free space after the extended partition, a lost NTFS volume: made as a fourth
# primary partition (MBR slot 3), filled with a small folder tree (one file deleted last), whose
# table entry is then zeroed. The volume stays intact, but no partition table points at it.
# Usage: tools/make_demo_image.sh [OUTDIR]   (default tests/data; writes OUTDIR/demo.img.gz,
# OUTDIR/demo_lost.manifest.tsv and the demo section of OUTDIR/README.md)
#
# demo_lost.manifest.tsv lists every folder and file written on the lost volume, in creation
# order, as "kind<TAB>state<TAB>size<TAB>sha256<TAB>path" (kind folder|file, state
# live|deleted, size 0 and sha256 "-" for folders, path from the volume root). Sizes and hashes
# come from a copy of each file written beside the volume, byte for byte what went through the
# mount.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

img_setup "${1:-$here/../tests/data}"
IMG_OUT=$(cd "$IMG_OUT" && pwd)

disk="$IMG_WORK/demo.img"
mnt="$IMG_WORK/mnt"
manifest="$IMG_WORK/manifest"
: >"$manifest"

# put REL GENERATOR ARGS...: writes a file below the mounted volume and notes it.
put() {
  local rel=$1
  shift
  mkdir -p "$(dirname "$mnt/$rel")"
  "$@" >"$mnt/$rel"
  note "$rel"
}

note() {
  printf '%s|%s|%s\n' "$1" "$(stat -c %s "$mnt/$1")" \
    "$(sha256sum "$mnt/$1" | cut -d' ' -f1)" >>"$manifest"
}

# del REL...: deletes files or folders through the mount; their MFT records stay behind.
del() {
  local rel
  for rel in "$@"; do
    rm -r "${mnt:?}/$rel"
    echo "$rel" >>"$IMG_WORK/deleted"
  done
}

japanese() {
  local i
  for ((i = 1; i <= 12; i++)); do
    printf '%02d 日本語のテキストファイルです。復元のテスト。\n' "$i"
  done
}

playlist() {
  printf '#EXTM3U\nsong01.mp3\nsong02.mp3\n'
}

budget_csv() {
  echo "month,category,amount"
  seq 1 900 | awk '{printf "2024-%02d,item%03d,%d.%02d\n", 1 + $1 % 12, $1 % 97, ($1 * 37) % 5000, $1 % 100}'
}

populate_main() {
  put readme.txt gen_text 1 420
  put "Café.txt" gen_text 2 300
  put Logs/system.log gen_log 3 1000000
  put Logs/boot.log gen_text 4 6000
  put Documents/notes.txt gen_text 10 250
  put Documents/todo.txt gen_text 11 640
  put "Documents/Résumé.txt" gen_text 12 2600
  put "Documents/日本語.txt" japanese
  put Documents/budget.csv budget_csv
  put Documents/Reports/report-2023.txt gen_text 20 8192
  put Documents/Reports/report-2024.txt gen_text 21 12345
  local i
  for i in 1 2 3 4 5 6 7 8; do
    put "Documents/Reports/week-0$i.txt" gen_text $((30 + i)) $((90 * i * i + 37 * i))
  done
  put Documents/Reports/q1-draft.txt gen_text 40 3000
  put Documents/Reports/q2-draft.txt gen_text 41 400
  # ledger.txt grows after other files were written next to it, so its clusters come in more
  # than one run (ntfs-3g hands new files out from a few zones in turn; the build checks the
  # result below).
  local ledger="$mnt/Documents/Reports/ledger.txt"
  gen_text 100 20000 >"$ledger"
  put Documents/Reports/ledger-notes.txt gen_text 101 9000
  put Documents/Reports/ledger-summary.txt gen_text 102 9000
  put Documents/Reports/ledger-index.txt gen_text 103 9000
  gen_text 104 30000 >>"$ledger"
  note Documents/Reports/ledger.txt
  mkdir -p "$mnt/Documents/Projects"
  put Pictures/2024/beach.jpg gen_jpeg 50 60000
  put Pictures/2024/family.png gen_png 51 30000
  put Pictures/2024/sunset.jpg gen_jpeg 52 40000
  put Pictures/Old/scan1.jpg gen_jpeg 60 20000
  put Pictures/Old/scan2.jpg gen_jpeg 61 15000
  put Pictures/Old/index.txt gen_text 62 500
  put Music/playlist.m3u playlist
  put Music/song01.mp3 gen_mp3 70 60000
  put Music/song02.mp3 gen_mp3 71 40000
  sync
  del "Café.txt" Documents/Reports/q1-draft.txt Documents/Reports/q2-draft.txt \
    Pictures/2024/sunset.jpg Music/song02.mp3 Pictures/Old
}

taxes_csv() {
  echo "date,payee,category,amount"
  seq 1 "$2" | awk -v year="$1" 'BEGIN { split("rent power water phone insurance repairs", c, " ") }
    { printf "%d-%02d-%02d,payee%03d,%s,%d.%02d\n", year, 1 + $1 % 12, 1 + ($1 * 7) % 28,
      ($1 * 13) % 211, c[1 + $1 % 6], ($1 * 389) % 4000, ($1 * 7) % 100 }'
}

# lost_dir REL / lost_put REL GENERATOR ARGS...: a folder or file on the lost volume, noted in
# creation order as "kind|rel"; a file's bytes go to a reference copy first, then through the
# mount, and must read back the same.
lost_dir() {
  mkdir "$mnt/$1"
  mkdir -p "$lost_ref/$1"
  echo "folder|$1" >>"$IMG_WORK/lost.order"
}

lost_put() {
  local rel=$1
  shift
  "$@" >"$lost_ref/$rel"
  cp "$lost_ref/$rel" "$mnt/$rel"
  cmp -s "$lost_ref/$rel" "$mnt/$rel" || img_die "/$rel reads back wrong through ntfs-3g"
  echo "file|$rel" >>"$IMG_WORK/lost.order"
}

populate_lost() {
  lost_dir Holiday
  lost_put Holiday/beach.jpg gen_jpeg 120 120000
  lost_put Holiday/notes.txt gen_text 121 2500
  lost_dir Taxes
  lost_put Taxes/2025.csv taxes_csv 2025 900
  lost_put Taxes/old.csv taxes_csv 2019 300
  lost_put letter.txt gen_text 122 1200
  sync
  # Nothing is written after this deletion.
  del Taxes/old.csv
}

populate_logical() {
  put info.txt gen_text 82 300
  put Backup/archive.txt gen_text 80 20000
  put Backup/photo.jpg gen_jpeg 81 12000
  put Backup/old-archive.txt gen_text 83 9000
  sync
  del Backup/old-archive.txt
}

: >"$IMG_WORK/deleted"

img_create "$disk" 128
img_parted "$disk" mklabel msdos \
  mkpart primary ntfs 1MiB 49MiB \
  mkpart primary fat32 49MiB 89MiB \
  mkpart extended 89MiB 114MiB \
  mkpart logical ntfs 90MiB 114MiB
img_set_disk_id "$disk" 0x5a1e0d30

img_mkntfs "$disk" 1 DEMO_NTFS 0x5a1e0d3000000001
img_mkfat "$disk" 2 32 DEMO_FAT32 1 5a1e0d32
img_mkntfs "$disk" 5 LOGICAL 0x5a1e0d3000000005

img_mount_ntfs "$disk" 1 "$mnt"
populate_main
img_umount_ntfs "$mnt"
sed 's/^/1|/' "$manifest" >"$IMG_WORK/manifest.all"
sed 's/^/1|/' "$IMG_WORK/deleted" >"$IMG_WORK/deleted.all"
: >"$manifest"
: >"$IMG_WORK/deleted"

img_mount_ntfs "$disk" 5 "$mnt"
populate_logical
img_umount_ntfs "$mnt"
sed 's/^/5|/' "$manifest" >>"$IMG_WORK/manifest.all"
sed 's/^/5|/' "$IMG_WORK/deleted" >>"$IMG_WORK/deleted.all"

fat_src="$IMG_WORK/fat"
mkdir -p "$fat_src"
gen_text 90 700 >"$fat_src/README.TXT"
gen_jpeg 91 12000 >"$fat_src/Holiday photo.jpg"
img_fat_put "$disk" 2 "$fat_src/README.TXT" /README.TXT
img_fat_mkdir "$disk" 2 /Photos
img_fat_put "$disk" 2 "$fat_src/Holiday photo.jpg" "/Photos/Holiday photo.jpg"

# ---- the lost partition ----------------------------------------------------------------
# Made as a fourth primary in the free space after the extended partition, formatted and filled,
# then its MBR entry is zeroed. The table sectors must come out as they were before it was added
# (parted rewrites them), so the three listed partitions are untouched.
dd if="$disk" of="$IMG_WORK/mbr.before" bs="$IMG_SECTOR" count=1 status=none
ebr=$(mmls "$disk" | awk '/Extended Table \(#1\)/ {print $3 + 0}')
dd if="$disk" of="$IMG_WORK/ebr.before" bs="$IMG_SECTOR" skip="$ebr" count=1 status=none
img_parted "$disk" mkpart primary ntfs 114MiB 100%
img_part "$disk" 4
lost=$PART_START
lost_sectors=$PART_SECTORS
lost_slot=3
lost_entry=$((446 + 16 * lost_slot))
[[ $(img_read_le "$disk" $((lost_entry + 8)) 4) == "$lost" ]] ||
  img_die "partition 4 is not in MBR slot $lost_slot"
img_mkntfs "$disk" 4 LOST 0x5a1e0d3000000004

lost_ref="$IMG_WORK/lost-ref"
mkdir -p "$lost_ref"
: >"$IMG_WORK/lost.order"
: >"$IMG_WORK/deleted"
img_mount_ntfs "$disk" 4 "$mnt"
populate_lost
img_umount_ntfs "$mnt"

mmls "$disk" >"$IMG_WORK/mmls.before"
lost_entry_hex=$(xxd -s "$lost_entry" -l 16 -p "$disk")
img_write_bytes "$disk" "$lost_entry" "$(printf '0%.0s' {1..32})"
cmp -s <(dd if="$disk" bs="$IMG_SECTOR" count=1 status=none) "$IMG_WORK/mbr.before" ||
  img_die "the MBR differs from the one before the lost partition was added"
cmp -s <(dd if="$disk" bs="$IMG_SECTOR" skip="$ebr" count=1 status=none) "$IMG_WORK/ebr.before" ||
  img_die "the EBR at sector $ebr changed when the lost partition was added"
partx -g -o NR "$disk" | grep -qx ' *4' && img_die "partition 4 is still listed"

declare -A lost_state=()
while read -r rel; do
  lost_state[$rel]=deleted
done <"$IMG_WORK/deleted"
{
  printf 'kind\tstate\tsize\tsha256\tpath\n'
  while IFS='|' read -r kind rel; do
    if [[ $kind == folder ]]; then
      printf 'folder\t%s\t0\t-\t/%s\n' "${lost_state[$rel]:-live}" "$rel"
    else
      printf 'file\t%s\t%s\t%s\t/%s\n' "${lost_state[$rel]:-live}" \
        "$(stat -c %s "$lost_ref/$rel")" "$(sha256sum <"$lost_ref/$rel" | cut -d' ' -f1)" "$rel"
    fi
  done <"$IMG_WORK/lost.order"
} >"$IMG_OUT/demo_lost.manifest.tsv"
echo "wrote $IMG_OUT/demo_lost.manifest.tsv ($(($(wc -l <"$IMG_OUT/demo_lost.manifest.tsv") - 1)) entries)"

# ---- README section --------------------------------------------------------------------

is_deleted() {
  local part=$1 rel=$2 d
  while IFS='|' read -r dpart d; do
    [[ $dpart == "$part" ]] || continue
    [[ $rel == "$d" || $rel == "$d"/* ]] && return 0
  done <"$IMG_WORK/deleted.all"
  return 1
}

img_part "$disk" 1
p1=$PART_START
img_part "$disk" 5
p5=$PART_START
img_part "$disk" 2
p2=$PART_START

doc_begin demo make_demo_image.sh "The disk that \`make run\` opens: nested folders, \
non-ASCII names, a 1 MB file, a fragmented file, deleted files and a \
deleted folder whose MFT records remain, and a lost NTFS partition (its MBR entry zeroed) \
for the Advance Scan to find."
doc_fs 1 "NTFS, label DEMO_NTFS, serial 0x5A1E0D3000000001, files below"
doc_fs 2 "FAT32 (mkfs.vfat -F 32 -s 1), label DEMO_FAT32, id 5A1E-0D32, files below"
doc_fs 5 "NTFS, label LOGICAL, serial 0x5A1E0D3000000005, files below"
doc_mbr_table "$disk"
doc "parted was given \`mkpart primary ntfs\`, \`mkpart primary fat32\`, \`mkpart extended\`," \
  "\`mkpart logical ntfs\`; it wrote types 0x07, 0x0c (fat32 gets the LBA flag), 0x0f and 0x07." ""
doc "### Files" ""
doc "Every file written, in creation order (partition 1 = primary NTFS at sector $p1," \
  "partition 5 = logical NTFS at sector $p5). Deleted ones were removed with \`rm\` through" \
  "the ntfs-3g mount after all files were written, so no later write reused their clusters or" \
  "records. Empty folder: \`Documents/Projects\` on partition 1." ""
doc "The MFT record is the one \`fls\` reports; \"icat\" tells whether \`icat\` of that record" \
  "(deleted ones too) gives back exactly the bytes written. The build fails on a live file" \
  "that does not read back." ""
doc "| Partition | Path | Bytes | SHA-256 | State | MFT record | icat |"
doc "|---|---|---|---|---|---|---|"
# mft_record START REL: the record number fls gives for REL (deleted entries included).
mft_record() {
  fls -r -p -o "$1" "$disk" | awk -F'\t' -v rel="$2" '$2 == rel {
    n = split($1, a, " "); split(a[n], b, "-"); sub(":", "", b[1]); print b[1]; exit }'
}
while IFS='|' read -r part rel size sum; do
  img_part "$disk" "$part"
  state=live
  is_deleted "$part" "$rel" && state=deleted
  record=$(mft_record "$PART_START" "$rel")
  [[ -n $record ]] || img_die "fls does not list $rel on partition $part"
  readback=differs
  [[ $(icat -o "$PART_START" "$disk" "$record" | sha256sum | cut -d' ' -f1) == "$sum" ]] &&
    readback=same
  [[ $state == deleted || $readback == same ]] || img_die "$rel reads back wrong"
  doc "| $part | \`$rel\` | $size | \`$sum\` | $state | $record | $readback |"
done <"$IMG_WORK/manifest.all"
doc "" "Deleted through the mount, in this order:" ""
while IFS='|' read -r part rel; do
  doc "- partition $part: \`$rel\`"
done <"$IMG_WORK/deleted.all"
doc "" "(\`Pictures/Old\` was a folder holding scan1.jpg, scan2.jpg and index.txt.)" ""
doc "FAT32 partition 2 (sector $p2): \`README.TXT\` ($(stat -c %s "$fat_src/README.TXT")" \
  "bytes, sha256 \`$(sha256sum "$fat_src/README.TXT" | cut -d' ' -f1)\`) and" \
  "\`Photos/Holiday photo.jpg\` ($(stat -c %s "$fat_src/Holiday photo.jpg") bytes, sha256" \
  "\`$(sha256sum "$fat_src/Holiday photo.jpg" | cut -d' ' -f1)\`)." ""

fls_live() {
  fls -r -p -o "$1" "$disk" | grep -v -P '\t\$' || true
}
doc_code "\`fls -r -p -o $p1 demo.img\` (NTFS metadata files and \`\$OrphanFiles\` left out; \`*\` marks deleted):" fls_live "$p1"
doc "In the deleted listings, \`\$OrphanFiles/OrphanFile-16\` to \`-23\` are the empty MFT" \
  "records that mkntfs reserves (not in use), not deleted user files." ""
doc_code "\`fls -r -d -p -o $p1 demo.img\` (deleted entries only):" fls -r -d -p -o "$p1" "$disk"
doc_code "\`fls -r -p -o $p5 demo.img\` (NTFS metadata files and \`\$OrphanFiles\` left out):" fls_live "$p5"
doc_code "\`fls -r -d -p -o $p5 demo.img\`:" fls -r -d -p -o "$p5" "$disk"
doc_code "\`fls -r -p -o $p2 demo.img\`:" fls -r -p -o "$p2" "$disk"
ledger_inode=$(fls -r -p -o "$p1" "$disk" |
  awk -F'\t' '$2 == "Documents/Reports/ledger.txt" {split($1, a, " "); print a[2]}' | cut -d- -f1)
ledger_clusters() {
  istat -o "$p1" "$disk" "$ledger_inode" | sed -n '/Type: \$DATA (128-/,/^$/p' | sed 1d
}
ledger_runs=$(ledger_clusters | tr -s ' \n' '\n\n' | awk 'NF {
  if (n == 0 || $1 != prev + 1) runs++; prev = $1; n++ } END { print runs + 0 }')
((ledger_runs > 1)) || img_die "Documents/Reports/ledger.txt was not fragmented"
ledger_report() {
  echo "Documents/Reports/ledger.txt is MFT record $ledger_inode; its \$DATA lies in" \
    "$ledger_runs runs, clusters:"
  ledger_clusters
}
doc_code "A fragmented file (\`istat -o $p1 demo.img $ledger_inode\`):" ledger_report

lost_total=$(img_read_le "$disk" $((lost * IMG_SECTOR + 40)) 8)
lost_backup=$((lost + lost_total))
cmp -s <(dd if="$disk" bs="$IMG_SECTOR" skip="$lost" count=1 status=none) \
  <(dd if="$disk" bs="$IMG_SECTOR" skip="$lost_backup" count=1 status=none) ||
  img_die "the lost volume's backup boot sector is not at sector $lost_backup"
doc "### The lost partition" ""
doc "After the three partitions above were written, parted was given" \
  "\`mkpart primary ntfs 114MiB 100%\` for the free space after the extended partition: MBR" \
  "entry $lost_slot (partition 4), type 0x07, first sector $lost, $lost_sectors sectors. mkntfs" \
  "made NTFS there (label LOST, serial 0x5A1E0D3000000004), the files below were written" \
  "through an ntfs-3g mount, and \`Taxes/old.csv\` was deleted last of all." ""
doc "Then the patch: the 16 bytes of MBR entry $lost_slot (bytes $lost_entry to" \
  "$((lost_entry + 15)) of sector 0), which held \`$lost_entry_hex\`, were zeroed. The MBR and" \
  "the EBR at sector $ebr are again byte for byte what they were before the partition was" \
  "added (the build checks it), so the table above and its \`mmls\` show three partitions and" \
  "sectors $lost to $((lost + lost_sectors - 1)) as unallocated, while the volume is intact." ""
doc_code "\`mmls\` before the patch:" cat "$IMG_WORK/mmls.before"
doc "The lost volume now: $(doc_volume_kind "$disk" "$lost"); its backup boot sector lies in" \
  "sector $lost_backup (the partition's last sector, also the disk's last), identical to the" \
  "boot sector." ""
doc "\`demo_lost.manifest.tsv\` lists what was written there, in creation order. Each item with" \
  "the MFT record \`fls -r -p -o $lost\` gives it, and whether \`icat\` of that record gives" \
  "back exactly the bytes written:" ""
doc "| Kind | Path | Bytes | SHA-256 | State | MFT record | icat |"
doc "|---|---|---|---|---|---|---|"
while IFS=$'\t' read -r kind state size sum path; do
  rel=${path#/}
  record=$(mft_record "$lost" "$rel")
  [[ -n $record ]] || img_die "fls does not list $rel on the lost volume"
  readback=-
  if [[ $kind == file ]]; then
    readback=differs
    [[ $(icat -o "$lost" "$disk" "$record" | sha256sum | cut -d' ' -f1) == "$sum" ]] &&
      readback=same
    [[ $readback == same ]] || img_die "$rel on the lost volume reads back wrong"
  fi
  [[ $sum == - ]] || sum="\`$sum\`"
  doc "| $kind | \`$rel\` | $size | $sum | $state | $record | $readback |"
done < <(tail -n +2 "$IMG_OUT/demo_lost.manifest.tsv")
doc ""
doc_code "\`fls -r -p -o $lost demo.img\` (NTFS metadata files and \`\$OrphanFiles\` left out):" fls_live "$lost"
doc_code "\`fls -r -d -p -o $lost demo.img\`:" fls -r -d -p -o "$lost" "$disk"
doc_end

img_finish "$disk"
