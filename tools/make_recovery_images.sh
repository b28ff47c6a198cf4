#!/usr/bin/env bash
# Builds ntfs_contents, the fixture for reading file contents back: an MBR disk with one NTFS
# partition at sector 2048 holding every way NTFS stores a file's bytes:
#   resident files (0, 1, 300 and 700 bytes), plain non-resident files (5,000 bytes, 1 MiB),
#   fragmented files (appends interleaved with other writes), a sparse file whose initialized
#   size ends before its size, and LZNT1-compressed files (compressible, incompressible, mixed
#   64 KiB stretches, one smaller than a cluster) in a folder marked for compression;
# then one resident, one fragmented and one compressed file are deleted, last of all.
# Usage: tools/make_recovery_images.sh [OUTDIR]   (default tests/data; writes
# OUTDIR/ntfs_contents.img.gz, OUTDIR/ntfs_contents.manifest.tsv and the image's section of
# OUTDIR/README.md)
#
# The manifest lists every folder and file the build made, in creation order, as
# "kind<TAB>state<TAB>size<TAB>sha256<TAB>path" (kind folder|file, state live|deleted, size 0
# and sha256 "-" for folders, path from the volume root). Sizes and hashes come from a copy of
# each file that the build writes beside the volume, byte for byte what went through the mount.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"
declare -F img_mount_ntfs_opts >/dev/null || img_die "tools/imagelib.sh lacks img_mount_ntfs_opts"
if ! command -v setfattr >/dev/null || ! command -v getfattr >/dev/null; then
  img_die "setfattr and getfattr are missing (Debian package: attr)"
fi

img_setup "${1:-$here/../tests/data}"
IMG_OUT=$(cd "$IMG_OUT" && pwd)

NAME=ntfs_contents
disk="$IMG_WORK/$NAME.img"
mnt="$IMG_WORK/mnt"
ref="$IMG_WORK/ref"
mkdir -p "$ref"

# ---- writing through the mount, with a reference copy -----------------------------------

M_ORDER=()
M_DELETED=()
declare -A M_KIND=() M_STATE=() M_REC=() M_WANT=()

# mkd REL: makes folder REL on the volume and in the reference copy.
mkd() {
  mkdir "$mnt/$1" "$ref/$1"
  M_ORDER+=("$1")
  M_KIND[$1]=folder
  M_STATE[$1]=live
}

# put WANT REL GENERATOR ARGS...: writes file REL with the generator's output (append and
# write_at change it later). WANT is how NTFS is to store it in the end, which the build checks:
# resident, plain (non-resident, one run), fragmented, sparse or compressed.
put() {
  local want=$1 rel=$2
  shift 2
  "$@" >"$ref/$rel"
  cat "$ref/$rel" >"$mnt/$rel"
  M_ORDER+=("$rel")
  M_KIND[$rel]="file"
  M_STATE[$rel]=live
  M_WANT[$rel]=$want
}

# append REL GENERATOR ARGS...: appends the generator's output to file REL.
append() {
  local rel=$1
  shift
  "$@" | tee -a "$ref/$rel" >>"$mnt/$rel"
}

# write_at REL OFFSET GENERATOR ARGS...: overwrites file REL from byte OFFSET on (the file keeps
# its size where the new bytes end before it).
write_at() {
  local rel=$1 offset=$2 piece="$IMG_WORK/piece" f
  shift 2
  "$@" >"$piece"
  for f in "$ref/$rel" "$mnt/$rel"; do
    dd if="$piece" of="$f" bs=64K seek="$offset" oflag=seek_bytes conv=notrunc status=none
  done
}

# del REL...: deletes files through the mount; their records and clusters stay as they were as
# long as nothing is written afterwards.
del() {
  local rel
  for rel in "$@"; do
    rm "${mnt:?}/$rel"
    M_STATE[$rel]=deleted
    M_DELETED+=("$rel")
  done
}

# mixed SEED COUNT: COUNT bytes in 64 KiB stretches (one compression unit of a volume with
# 4096-byte clusters each), text and pseudo-random bytes in turn, so the units of a compressed
# file alternate between stored compressed and stored as they are.
mixed() {
  local k=0 left=$2 n
  while ((left > 0)); do
    n=$((left < 65536 ? left : 65536))
    if ((k % 2 == 0)); then gen_text $(($1 + k)) "$n"; else gen_bytes $(($1 + k)) "$n"; fi
    left=$((left - n))
    k=$((k + 1))
  done
}

populate() {
  local i

  # Resident: the $DATA value sits in the MFT record itself.
  mkd Resident
  put resident Resident/empty.txt true
  put resident Resident/one-byte.txt printf 'x'
  put resident Resident/note-300.txt gen_text 1 300
  put resident Resident/note-700.txt gen_text 2 700
  put resident Resident/scratch.txt gen_text 3 240

  mkd Plain
  put plain Plain/report-5000.txt gen_text 4 5000
  put plain Plain/archive-1mib.dat gen_text 5 1048576

  # Two files grow in turns with small files written between the appends, so each append lands
  # after clusters that another file took meanwhile (ntfs-3g also hands out space from two zones
  # in turn). The last append of ledger.txt ends inside a cluster.
  mkd Fragmented
  put fragmented Fragmented/ledger.txt true
  put fragmented Fragmented/journal.txt true
  for ((i = 1; i <= 6; i++)); do
    append Fragmented/ledger.txt gen_text $((10 + i)) 12288
    append Fragmented/journal.txt gen_bytes $((20 + i)) 12288
    put plain "Fragmented/filler-$i.txt" gen_text $((30 + i)) 8192
  done
  append Fragmented/ledger.txt gen_text 17 1000

  # A 10 MiB file with data at its start, at 3 MiB and shortly before its end, holes between;
  # its initialized size stops 1000 bytes short of its size (the bytes there read as zeros).
  mkd Sparse
  put sparse Sparse/disk-10mib.img true
  truncate -s 10M "$ref/Sparse/disk-10mib.img" "$mnt/Sparse/disk-10mib.img"
  write_at Sparse/disk-10mib.img 0 gen_text 40 20000
  write_at Sparse/disk-10mib.img $((3 << 20)) gen_bytes 41 65536
  write_at Sparse/disk-10mib.img $(((10 << 20) - 6000)) gen_text 42 5000
  SPARSE_INIT=$(((10 << 20) - 1000))

  # Files created in a folder whose attributes carry FILE_ATTRIBUTE_COMPRESSED (0x800) are
  # written LZNT1-compressed by ntfs-3g (mounted with -o compression).
  mkd Compressed
  setfattr -n system.ntfs_attrib_be -v 0x00000800 "$mnt/Compressed"
  COMPRESSED_ATTRIB=$(getfattr --absolute-names --only-values -n system.ntfs_attrib_be -e hex "$mnt/Compressed" |
    xxd -p)
  ((16#$COMPRESSED_ATTRIB & 0x800)) ||
    img_die "/Compressed is not marked compressed (attributes 0x$COMPRESSED_ATTRIB)"
  put compressed Compressed/text-300k.txt gen_text 50 300000
  put compressed Compressed/random-200k.bin gen_bytes 51 200000
  put compressed Compressed/mixed-500k.dat mixed 52 500000
  put compressed Compressed/small-3000.txt gen_text 60 3000
  put compressed Compressed/old-mixed.dat mixed 61 200000
}

# ---- build --------------------------------------------------------------------------------

img_create "$disk" 32
img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB 31MiB
img_set_disk_id "$disk" 0x5a1e0c01
img_mkntfs "$disk" 1 CONTENTS 0x5a1e0c0100000001
# permissions: ntfs-3g then keeps security descriptors in $Secure and writes the 72-byte
# $STANDARD_INFORMATION, as Windows does, instead of a $SECURITY_DESCRIPTOR in every record;
# that leaves room for a 700-byte resident $DATA.
img_mount_ntfs_opts compression,permissions "$disk" 1 "$mnt"
populate
sync
for rel in "${M_ORDER[@]}"; do
  M_REC[$rel]=$(stat -c %i "$mnt/$rel")
  [[ ${M_KIND[$rel]} == folder ]] || cmp -s "$ref/$rel" "$mnt/$rel" ||
    img_die "/$rel reads back wrong through ntfs-3g"
done
del Resident/scratch.txt Fragmented/journal.txt Compressed/old-mixed.dat
# Nothing is written after the deletions.
img_umount_ntfs "$mnt"
# Every loop device this script attached is detached now. img_cleanup would detach each one again
# at exit if still listed, and by then another process may have been given the same device.
IMG_LOOPS=()

{
  printf 'kind\tstate\tsize\tsha256\tpath\n'
  for rel in "${M_ORDER[@]}"; do
    if [[ ${M_KIND[$rel]} == folder ]]; then
      printf 'folder\t%s\t0\t-\t/%s\n' "${M_STATE[$rel]}" "$rel"
    else
      printf 'file\t%s\t%s\t%s\t/%s\n' "${M_STATE[$rel]}" "$(stat -c %s "$ref/$rel")" \
        "$(sha256sum <"$ref/$rel" | cut -d' ' -f1)" "$rel"
    fi
  done
} >"$IMG_OUT/$NAME.manifest.tsv"
echo "wrote $IMG_OUT/$NAME.manifest.tsv (${#M_ORDER[@]} entries)"

# ---- reading the image back ---------------------------------------------------------------

# data_runs RECORD: the unnamed $DATA's run list from `istat -r`, one "start length" line per
# run, start "X" for a sparse run; nothing for a resident $DATA.
data_runs() {
  istat -r -o 2048 "$disk" "$1" | awk '
    /^Type: / { on = ($2 == "$DATA" && $5 == "N/A"); next }
    on && /Starting address:/ { gsub(",", ""); print $3, $5 }'
}

# data_header RECORD: the unnamed $DATA's line of istat, from "Resident" or "Non-Resident" on.
data_header() {
  istat -o 2048 "$disk" "$1" | awk '$1 == "Type:" && $2 == "$DATA" && $5 == "N/A" {
    sub(/.*Name: N\/A +/, ""); print; exit }'
}

# count N ONE MANY: "N ONE" or "N MANY".
count() {
  if (($1 == 1)); then echo "1 $2"; else echo "$1 $3"; fi
}

# data_layout REL: a short description of how REL's $DATA is stored; fails the build where it
# is not what populate asked for.
data_layout() {
  local rel=$1 rec=${M_REC[$1]} head runs stored holes ok=1
  head=$(data_header "$rec")
  runs=$(data_runs "$rec")
  stored=$(awk '$1 != "X"' <<<"$runs" | grep -c . || true)
  holes=$(awk '$1 == "X"' <<<"$runs" | grep -c . || true)
  case ${M_WANT[$rel]} in
  resident) [[ $head == Resident* ]] || ok=0 ;;
  plain) [[ $head == Non-Resident\ * && $stored == 1 && $holes == 0 ]] || ok=0 ;;
  fragmented) [[ $head == Non-Resident\ * ]] && ((stored >= 4)) || ok=0 ;;
  sparse) [[ $head == Non-Resident,\ Sparse* && $head == *"init_size: $SPARSE_INIT" ]] &&
    ((holes >= 2)) || ok=0 ;;
  compressed) [[ $head == Non-Resident,\ Compressed* ]] || ok=0 ;;
  esac
  ((ok)) || img_die "/$rel was to be ${M_WANT[$rel]}; istat says: $head, $stored runs, $holes sparse"
  head=${head%%  *}
  if [[ $head == Resident ]]; then
    echo resident
  else
    echo "${head,,} ($(count "$stored" run runs), $(count "$holes" hole holes))"
  fi
}

# icat_check REL: "same" when icat of REL's record gives back the bytes written, otherwise how
# many bytes it gave.
icat_check() {
  local out="$IMG_WORK/icat"
  icat -o 2048 "$disk" "${M_REC[$1]}" >"$out" 2>/dev/null || true
  if cmp -s "$out" "$ref/$1"; then
    echo same
  else
    echo "differs ($(stat -c %s "$out") bytes, sha256 \`$(sha256sum <"$out" | cut -c1-16)…\`)"
  fi
}

fls_user() {
  fls -r -p -o 2048 "$disk" | grep -v -P '\t\$' || true
}

# vcn_lcn REL VCN: the cluster of the volume that holds cluster VCN of REL ("X" in a hole).
vcn_lcn() {
  data_runs "${M_REC[$1]}" | awk -v v="$2" '
    v < $2 { print ($1 == "X" ? "X" : $1 + v); found = 1; exit }
    { v -= $2 } END { if (!found) print "X" }'
}

# chunk_header REL VCN: the LZNT1 chunk header at the start of cluster VCN of REL, decoded.
chunk_header() {
  local lcn hex value
  lcn=$(vcn_lcn "$1" "$2")
  [[ $lcn != X ]] || img_die "cluster $2 of /$1 is not stored"
  hex=$(img_read_le "$disk" $(((2048 + lcn * 8) * IMG_SECTOR)) 2)
  value=$((hex))
  printf '0x%04x (%s chunk, %d bytes with its header)' "$value" \
    "$( ((value & 0x8000)) && echo compressed || echo uncompressed)" $(((value & 0xfff) + 3))
}

# last_unit_row REL: a table row about the last compression unit of REL: its first cluster, the
# bytes of the file in it, its clusters that istat lists as stored, and the chunk header there.
last_unit_row() {
  local rel=$1 size units vcn stored
  size=$(stat -c %s "$ref/$rel")
  units=$(((size + 65535) / 65536))
  vcn=$(((units - 1) * 16))
  stored=$(data_runs "${M_REC[$rel]}" | awk -v first="$vcn" '
    { if ($1 != "X") for (i = 0; i < $2; i++) if (v + i >= first) n++; v += $2 }
    END { print n + 0 }')
  echo "| \`/$rel\` | $units | $vcn | $((size - vcn * 4096)) | $stored | $(chunk_header "$rel" "$vcn") |"
}

# ntfsinfo_data REL: ntfsinfo's view of REL's unnamed $DATA: its sizes and its whole run list as
# the record holds it (ntfsinfo reads records in use only).
ntfsinfo_data() {
  ntfsinfo -v -i "${M_REC[$1]}" "$RO_DEV" | awk '
    /^Dumping attribute/ { on = ($3 == "$DATA"); next }
    on && /^End of inode/ { on = 0 }
    on && (/size:/ || /Runlist/ || /^\t\t\t/)' | expand -t 8 | sed 's/^        //; s/ *$//'
}

# runs_of REL: istat's lines of REL's unnamed $DATA: its header and its run list.
runs_of() {
  istat -r -o 2048 "$disk" "${M_REC[$1]}" | awk '
    /^Type: / { on = ($2 == "$DATA" && $5 == "N/A") }
    on { sub(/ +$/, ""); print }'
}

doc_begin "$NAME" make_recovery_images.sh "One NTFS volume with each way NTFS stores a \
file's bytes: resident, non-resident, fragmented, sparse and LZNT1-compressed files, and \
deleted files of three of those kinds."
doc_fs 1 "NTFS (mkntfs), label CONTENTS, serial 0x5A1E0C0100000001, files below"
doc_mbr_table "$disk"
doc "### Files" ""
doc "\`$NAME.manifest.tsv\` lists every folder and file the build made, in creation order, with" \
  "the size and SHA-256 of what was written (the build keeps a copy of every file beside the" \
  "volume; each file also read back the same through ntfs-3g before the deletions)." \
  "Mounted with \`ntfs-3g -o compression,permissions\`: with \`permissions\` ntfs-3g keeps" \
  "security descriptors in \`\$Secure\` as Windows does, so a record has room for 700 bytes of" \
  "resident data. Below, each entry with its MFT record (the inode number ntfs-3g gave it, the" \
  "record \`fls\` lists it with), how its unnamed \$DATA is stored (from \`istat -r\`: runs" \
  "holding clusters and sparse runs), and whether \`icat -o 2048\` of the record gives back" \
  "exactly the bytes written. The build fails on a live file that does not read back, and on a" \
  "file stored other than intended (resident, one run, at least 4 runs, sparse, compressed)." ""
doc "| Kind | Path | Bytes | State | MFT record | \$DATA | SHA-256 | icat |"
doc "|---|---|---|---|---|---|---|---|"
declare -A FLS_REC=()
while IFS=$'\t' read -r rec path; do
  [[ -n ${FLS_REC[$path]+set} ]] || FLS_REC[$path]=$rec
done < <(fls -r -p -o 2048 "$disk" | awk -F'\t' '{
  n = split($1, a, " "); split(a[n], b, "-"); sub(":", "", b[1]); print b[1] "\t" $2 }')
icat_differs=()
while IFS=$'\t' read -r kind state size sum path; do
  rel=${path#/}
  [[ ${FLS_REC[$rel]:-} == "${M_REC[$rel]}" ]] ||
    img_die "fls lists $path as record ${FLS_REC[$rel]:-none}, ntfs-3g gave ${M_REC[$rel]}"
  if [[ $kind == folder ]]; then
    doc "| folder | \`$path\` | 0 | $state | ${M_REC[$rel]} |  |  |  |"
    continue
  fi
  layout=$(data_layout "$rel")
  check=$(icat_check "$rel")
  if [[ $check != same ]]; then
    [[ $state == deleted ]] || img_die "$path reads back wrong through icat: $check"
    icat_differs+=("$rel")
  fi
  doc "| file | \`$path\` | $size | $state | ${M_REC[$rel]} | $layout | \`$sum\` | $check |"
done < <(tail -n +2 "$IMG_OUT/$NAME.manifest.tsv")
doc ""
doc "Deleted through the mount once everything above was written, in this order (nothing was" \
  "written afterwards):" ""
for rel in "${M_DELETED[@]}"; do
  doc "- \`/$rel\` (record ${M_REC[$rel]})"
done
doc ""
if ((${#icat_differs[@]})); then
  doc "Files \`icat\` itself does not return exactly, although their records and clusters are" \
    "untouched:" ""
  for rel in "${icat_differs[@]}"; do
    doc "- \`/$rel\`: $(icat_check "$rel")"
  done
  doc ""
fi

doc "### How the contents are stored" ""
doc "Run lists from \`istat -r -o 2048 $NAME.img RECORD\` (clusters of 4096 bytes counted from" \
  "the partition start; \"X ... Sparse\" is a hole, read as zeros). istat lists runs only up to" \
  "the cluster that holds the file's last byte." ""
for rel in Fragmented/ledger.txt Fragmented/journal.txt Sparse/disk-10mib.img; do
  doc_code "\`/$rel\` (record ${M_REC[$rel]}, ${M_STATE[$rel]}):" runs_of "$rel"
done
doc "The sparse file's initialized size ends 1000 bytes before its size: its last 1000 bytes" \
  "are not stored and read as zeros, although they lie in an allocated cluster." ""
doc "\`/Compressed\` carries the attributes 0x$COMPRESSED_ATTRIB (\`getfattr -n" \
  "system.ntfs_attrib_be\` through the mount: 0x10 folder, 0x800 compressed), set with" \
  "\`setfattr -n system.ntfs_attrib_be -v 0x00000800\` before its files were written, so every" \
  "file in it has the compressed flag on its \$DATA (and in its \$STANDARD_INFORMATION)." \
  "Compression units are 16 clusters (64 KiB). A unit whose 16 clusters are all stored holds" \
  "its bytes as they are; a unit with fewer stored clusters, the rest a hole, holds an LZNT1" \
  "stream. A run may span the end of one unit and the start of the next. \`mixed-500k.dat\`" \
  "and \`old-mixed.dat\` alternate 64 KiB of \`gen_text\` and 64 KiB of \`gen_bytes\`," \
  "starting with text, so their text units are compressed and their random units stored" \
  "plainly; the last unit of each file is partial." ""
for rel in Compressed/text-300k.txt Compressed/random-200k.bin Compressed/mixed-500k.dat \
  Compressed/small-3000.txt Compressed/old-mixed.dat; do
  doc_code "\`/$rel\` (record ${M_REC[$rel]}, ${M_STATE[$rel]}):" runs_of "$rel"
done
doc "The record's own run list goes on with a hole to the end of the last compression unit" \
  "(the attribute's allocated size is a whole number of units), which istat does not show." \
  "So the last, partial unit of each file is stored as an LZNT1 stream whenever it takes" \
  "fewer than 16 clusters, even where its data did not shrink: LZNT1 then keeps it in" \
  "uncompressed chunks, or in chunks that came out larger than their data. The last unit of" \
  "each compressed file (first cluster as a cluster number within the file; header: the first" \
  "two bytes of that cluster, little-endian):" ""
doc "| File | Units | First cluster | Bytes of the file in it | Stored clusters | Chunk header |"
doc "|---|---|---|---|---|---|"
for rel in Compressed/text-300k.txt Compressed/random-200k.bin Compressed/mixed-500k.dat \
  Compressed/small-3000.txt Compressed/old-mixed.dat; do
  doc "$(last_unit_row "$rel")"
done
doc "" "\`ntfsinfo -v -i RECORD\` of the live ones (on the partition, through a read-only loop" \
  "device) shows their sizes and whole run lists:" ""
RO_DEV=$(losetup --find --show --read-only --offset $((2048 * IMG_SECTOR)) "$disk")
IMG_LOOPS+=("$RO_DEV")
for rel in Compressed/text-300k.txt Compressed/random-200k.bin Compressed/mixed-500k.dat \
  Compressed/small-3000.txt; do
  doc_code "\`/$rel\` (record ${M_REC[$rel]}):" ntfsinfo_data "$rel"
done
losetup -d "$RO_DEV"
IMG_LOOPS=()
doc_code "\`fls -r -p -o 2048 $NAME.img\` (NTFS metadata files and \`\$OrphanFiles\` left out; \`*\` marks deleted):" fls_user
doc_end
img_finish "$disk"
