#!/usr/bin/env bash
# Builds the NTFS content fixtures for the MFT scanner:
#   ntfs_tree            nested folders, files of many sizes, non-ASCII and long names, named
#                        streams, deleted files and deleted folders;
#   ntfs_fragmented_mft  an $MFT whose $DATA lies in several runs, with files in every run;
#   ntfs_attribute_list  files whose attributes overflow their base record: one with a $DATA
#                        run list spread over several extension records, one with 71 hard links,
#                        and a deleted one whose extension records were freed with it.
# Each is an MBR disk with one NTFS partition at sector 2048, filled through an ntfs-3g mount.
# Usage: tools/make_ntfs_images.sh [OUTDIR [NAME...]]   (default tests/data and all three; writes
# OUTDIR/NAME.img.gz, OUTDIR/NAME.manifest.tsv and the images' sections of OUTDIR/README.md)
#
# A manifest lists every folder and file the build made, in creation order, as
# "kind<TAB>state<TAB>size<TAB>path" (kind folder|file, state live|deleted, size in bytes and 0
# for folders, path from the volume root). It is written from what this script did, not read
# back from the image; every hard link is a line of its own. Named streams are not listed there
# but in the README section of their image.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/imagelib.sh
source "$here/imagelib.sh"

img_setup "${1:-$here/../tests/data}"
IMG_OUT=$(cd "$IMG_OUT" && pwd)

SCRIPT=make_ntfs_images.sh
mnt="$IMG_WORK/mnt"

# ---- ground truth ----------------------------------------------------------------------

m_reset() {
  M_ORDER=()
  declare -gA M_KIND=() M_SIZE=() M_STATE=() M_SHA=() M_REC=()
  M_STREAMS=()
  M_DELETED=()
}

m_add() {
  local kind=$1 rel=$2 size=$3
  if [[ -z ${M_KIND[$rel]+set} ]]; then
    M_ORDER+=("$rel")
  fi
  M_KIND[$rel]=$kind
  M_SIZE[$rel]=$size
  M_STATE[$rel]=live
}

# mkd REL: makes folder REL (and its parents) below the mount and notes each new one.
mkd() {
  local rel=$1 part acc=""
  mkdir -p "$mnt/$rel"
  local IFS=/
  for part in $rel; do
    acc=${acc:+$acc/}$part
    [[ -n ${M_KIND[$acc]+set} ]] || m_add folder "$acc" 0
  done
}

# put REL GENERATOR ARGS...: writes file REL with the generator's output and notes it.
put() {
  local rel=$1
  shift
  [[ $rel != */* || -n ${M_KIND[${rel%/*}]+set} ]] || mkd "${rel%/*}"
  "$@" >"$mnt/$rel"
  m_add file "$rel" "$(stat -c %s "$mnt/$rel")"
  M_SHA[$rel]=$(sha256sum <"$mnt/$rel" | cut -d' ' -f1)
}

# note_files REL...: notes files written without put (in this order), with their sizes and
# hashes read in one go.
note_files() {
  local rel sum path size
  for rel in "$@"; do
    [[ -n ${M_KIND[$rel]+set} ]] || m_add file "$rel" 0
  done
  while read -r sum path; do
    M_SHA[$path]=$sum
  done < <(cd "$mnt" && sha256sum -- "$@")
  while IFS=$'\t' read -r size path; do
    M_SIZE[$path]=$size
  done < <(cd "$mnt" && stat -c $'%s\t%n' -- "$@")
}

# block TAG K: one 4096-byte block, byte for byte what `gen_blocks TAG K 1` prints, made by
# the shell itself (it is written thousands of times; one write each).
BLOCK_FILL=$(gen_blocks x 0 1 | sed -n 2p)
block() {
  local head
  printf -v head '%s block %06d\n' "$1" "$2"
  printf '%s%s\n' "$head" "${BLOCK_FILL:0:4096-${#head}-1}"
}

# hardlink SRC REL: a further name for file SRC.
hardlink() {
  [[ $2 != */* ]] || mkd "${2%/*}"
  ln "$mnt/$1" "$mnt/$2"
  m_add file "$2" "${M_SIZE[$1]}"
  M_SHA[$2]=${M_SHA[$1]}
}

# stream REL NAME GENERATOR ARGS...: writes the named stream NAME of file REL (mounted with
# streams_interface=windows, so it is reached as REL:NAME).
stream() {
  local rel=$1 name=$2 size sum
  shift 2
  "$@" >"$mnt/$rel:$name"
  size=$(stat -c %s "$mnt/$rel:$name")
  sum=$(sha256sum <"$mnt/$rel:$name" | cut -d' ' -f1)
  M_STREAMS+=("$rel|$name|$size|$sum")
}

# del REL...: removes files or whole folders (rm -r) through the mount; everything at or below
# REL becomes deleted in the manifest.
del() {
  local rel p
  for rel in "$@"; do
    rm -r "${mnt:?}/$rel"
    M_DELETED+=("$rel")
    for p in "${M_ORDER[@]}"; do
      [[ $p == "$rel" || $p == "$rel"/* ]] && M_STATE[$p]=deleted
    done
  done
  return 0
}

m_write() {
  local p
  {
    printf 'kind\tstate\tsize\tpath\n'
    for p in "${M_ORDER[@]}"; do
      printf '%s\t%s\t%s\t/%s\n' "${M_KIND[$p]}" "${M_STATE[$p]}" "${M_SIZE[$p]}" "$p"
    done
  } >"$IMG_OUT/$1.manifest.tsv"
  echo "wrote $IMG_OUT/$1.manifest.tsv (${#M_ORDER[@]} entries)"
}

m_count() { # m_count KIND STATE
  local p n=0
  for p in "${M_ORDER[@]}"; do
    [[ ${M_KIND[$p]} == "$1" && ${M_STATE[$p]} == "$2" ]] && n=$((n + 1))
  done
  echo "$n"
}

# ---- reading the image back ------------------------------------------------------------

# m_records: M_REC[path] = MFT record of every noted path, read through the mount before
# anything is deleted (ntfs-3g reports a file's MFT record number as its inode number).
m_records() {
  local ino path
  while IFS=$'\t' read -r ino path; do
    [[ -z ${M_KIND[$path]+set} ]] || M_REC[$path]=$ino
  done < <(find "$mnt" -mindepth 1 -printf '%i\t%P\n')
  for path in "${M_ORDER[@]}"; do
    [[ -n ${M_REC[$path]:-} ]] || img_die "no inode number for $path"
  done
}

# check_records FILE: compares M_REC with what fls lists (REC[path], the first listing of each
# path); the build fails where they disagree or fls misses a live entry. FLS_MISSING gets the
# deleted entries fls does not list.
check_records() {
  declare -gA REC=()
  FLS_MISSING=()
  local rec path
  while IFS=$'\t' read -r rec path _; do
    [[ -n ${REC[$path]+set} ]] || REC[$path]=$rec
  done < <(fls_records "$1" 2048)
  for path in "${M_ORDER[@]}"; do
    rec=${REC[$path]:-}
    if [[ -z $rec ]]; then
      [[ ${M_STATE[$path]} == deleted ]] || img_die "fls does not list $path"
      FLS_MISSING+=("$path")
    elif [[ $rec != "${M_REC[$path]}" ]]; then
      img_die "fls lists $path as record $rec, ntfs-3g gave ${M_REC[$path]}"
    fi
  done
  return 0
}

# icat_check FILE REL: "same" when icat of REL's record gives back the bytes written.
icat_check() {
  if [[ $(icat -o 2048 "$1" "${M_REC[$2]}" | sha256sum | cut -d' ' -f1) == "${M_SHA[$2]}" ]]
  then
    echo same
  else
    echo differs
  fi
}

# readback_check FILE: every live file, as tsk_recover extracts it, must hold the bytes
# written; DELETED_SAME counts the deleted files whose record still gives them back via icat.
readback_check() {
  local out="$IMG_WORK/readback" p sum path
  local -a live=()
  rm -rf "$out"
  tsk_recover -a -o 2048 "$1" "$out" >/dev/null
  DELETED_SAME=0
  for p in "${M_ORDER[@]}"; do
    [[ ${M_KIND[$p]} == file ]] || continue
    if [[ ${M_STATE[$p]} == live ]]; then
      live+=("$p")
    elif [[ $(icat_check "$1" "$p") == same ]]; then
      DELETED_SAME=$((DELETED_SAME + 1))
    fi
  done
  while read -r sum path; do
    [[ $sum == "${M_SHA[$path]}" ]] || img_die "$path reads back wrong"
  done < <(cd "$out" && sha256sum -- "${live[@]}")
  rm -rf "$out"
}

# mft_offset FILE RECORD: byte offset of MFT record RECORD in the disk image (through the runs
# of $MFT's $DATA; 4096-byte clusters, 1024-byte records).
mft_offset() {
  ntfs_runs "$1" 2048 0 | awk -v r="$2" -v base=$((2048 * 512)) '{
    if (found) next
    if (r < $2 * 4) { printf "%d\n", base + $1 * 4096 + r * 1024; found = 1 }
    r -= $2 * 4 } END { if (!found) exit 1 }'
}

# doc_manifest_table FILE: every manifest entry with its record, whether its unnamed $DATA is
# resident, and (for files) hash and read-back; the build fails on a live file that does not
# read back.
doc_manifest_table() {
  local disk=$1 p rec sum check data
  doc "| Kind | Path | Bytes | State | MFT record | \$DATA | SHA-256 | icat |"
  doc "|---|---|---|---|---|---|---|---|"
  for p in "${M_ORDER[@]}"; do
    rec=${M_REC[$p]}
    sum="" check="" data=""
    if [[ ${M_KIND[$p]} == file ]]; then
      sum="\`${M_SHA[$p]}\`"
      check=$(icat_check "$disk" "$p")
      [[ ${M_STATE[$p]} == deleted || $check == same ]] || img_die "$p reads back wrong"
      data=$(istat -o 2048 "$disk" "$rec" | awk '$1 == "Type:" && $2 == "$DATA" && $5 == "N/A" {
        print ($6 == "Resident" ? "resident" : "non-resident") }')
    fi
    doc "| ${M_KIND[$p]} | \`/$p\` | ${M_SIZE[$p]} | ${M_STATE[$p]} | $rec | $data | $sum | $check |"
  done
  doc ""
}

fls_user() {
  fls -r -p -o 2048 "$1" | grep -v -P '\t\$' || true
}

# first_record_of RUNS_FILE: records held by the first run of $MFT.
first_extent_records() {
  ntfs_runs "$1" 2048 0 | awk 'NR == 1 { print $2 * 4 }'
}

# ---- ntfs_tree -------------------------------------------------------------------------

japanese() {
  local i
  for ((i = 1; i <= 40; i++)); do
    printf '%02d 報告書の本文です。ディスクの復元テスト用の日本語テキスト。\n' "$i"
  done
}

zone_identifier() {
  printf '[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=about:internet\r\n'
}

build_ntfs_tree() {
  local disk="$IMG_WORK/ntfs_tree.img" long i sizes
  m_reset
  img_create "$disk" 16
  img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB 15MiB
  img_set_disk_id "$disk" 0x5a1e0011
  img_mkntfs "$disk" 1 NTFS_TREE 0x5a1e001100000001
  img_mount_ntfs_opts streams_interface=windows "$disk" 1 "$mnt"

  long=$(printf 'a-very-long-file-name-%.0s' {1..10})end
  put readme.txt gen_text 1 120
  put empty.txt true
  put "Résumé.txt" gen_text 2 700
  put "Meeting notes.txt" gen_text 3 5000
  put "🎉party.txt" printf 'party on the twelfth\n'
  put "Ärger/Öl.txt" gen_text 4 64
  put "Ärger/Übersicht.txt" gen_text 5 5000
  put "日本語フォルダ/報告書.txt" japanese
  put "日本語フォルダ/データ/一覧.txt" gen_text 6 700
  mkd Documents/Projects/Empty
  put Documents/Projects/2024/Q3/Drafts/deep.txt gen_text 7 700
  put Documents/Projects/2024/Q3/Drafts/Final/deeper.txt gen_text 8 5000
  sizes=(0 9 700 5000 1500 300000 12 4096 4097 650 20000 1 480)
  for ((i = 0; i < ${#sizes[@]}; i++)); do
    put "Documents/Projects/2024/Q3/week-$(printf %02d $((i + 1))).txt" gen_text $((100 + i)) \
      "${sizes[i]}"
  done
  put "Documents/$long.txt" gen_text 9 300
  put Logs/big.log gen_log 10 300000
  put Pictures/photo.jpg gen_jpeg 11 30000
  stream Pictures/photo.jpg thumbnail gen_jpeg 12 6000
  put Downloads/installer.bin gen_bytes 13 5000
  stream Downloads/installer.bin Zone.Identifier zone_identifier

  # To be deleted.
  put Documents/old-draft.txt gen_text 20 5000
  put Logs/rotated.log gen_log 21 40000
  put "Ärger/notiz.txt" gen_text 22 40
  put "日本語フォルダ/下書き.txt" gen_text 23 700
  put Downloads/old-installer.bin gen_bytes 24 3000
  stream Downloads/old-installer.bin Zone.Identifier zone_identifier
  mkd "Empty Folder"
  put "Old Projects/plan.txt" gen_text 25 5000
  put "Old Projects/budget.csv" gen_text 26 700
  put "Old Projects/notes.txt" gen_text 27 30
  put "Old Projects/Archive 2019/summary.txt" gen_text 28 5000
  put "Old Projects/Archive 2019/scan.jpg" gen_jpeg 29 12000
  mkd "Old Projects/Archive 2019/Empty"
  sync
  m_records
  del Documents/old-draft.txt Logs/rotated.log "Ärger/notiz.txt" "日本語フォルダ/下書き.txt" \
    Downloads/old-installer.bin "Empty Folder" "Old Projects"
  # Nothing is created after the deletions, so their records and clusters stay as they were.
  img_umount_ntfs "$mnt"
  m_write ntfs_tree

  check_records "$disk"
  ((${#FLS_MISSING[@]} == 0)) || img_die "fls does not list ${FLS_MISSING[*]}"
  local s rel name size sum rec off hex party_rec party_off
  doc_begin ntfs_tree "$SCRIPT" "One NTFS volume with folders nested 6 deep, files from 0 bytes \
to 300 KB, accented, Japanese, emoji and $((${#long} + 4))-character names, named streams, deleted files in several folders, a deleted empty folder and a folder deleted with \
everything below it (\`rm -r\`)."
  doc_fs 1 "NTFS (mkntfs), label NTFS_TREE, serial 0x5A1E001100000001, files below"
  doc_mbr_table "$disk"
  doc "### Files" ""
  doc "\`ntfs_tree.manifest.tsv\` lists every folder and file the build made. Below, each one with" \
    "its MFT record (the inode number ntfs-3g gave it, the same record \`fls -r -p -o 2048\`" \
    "lists it with); \"icat\" tells whether \`icat\` of that" \
    "record (deleted ones too) gives back exactly the bytes written. Files of up to a few hundred" \
    "bytes are resident (their bytes sit in the MFT record); mounted with" \
    "\`ntfs-3g -o streams_interface=windows\`." ""
  doc_manifest_table "$disk"
  doc "Deleted through the mount once everything above was written, in this order (nothing was" \
    "created afterwards):" ""
  for rel in "${M_DELETED[@]}"; do
    doc "- \`/$rel\`"
  done
  doc "" "\`/Empty Folder\` was an empty folder; \`/Old Projects\` held three files and the folder" \
    "\`Archive 2019\` (two files and the empty folder \`Empty\`), all removed by one \`rm -r\`." ""
  doc "### Named streams" ""
  doc "Each file below also has an unnamed \$DATA (its content, listed above) and a named \$DATA:" ""
  doc "| File | Stream | Bytes | SHA-256 | icat of the stream |"
  doc "|---|---|---|---|---|"
  for s in "${M_STREAMS[@]}"; do
    IFS='|' read -r rel name size sum <<<"$s"
    rec=${REC[$rel:$name]:-}
    [[ -n $rec ]] || img_die "fls does not list the stream $rel:$name"
    local type
    type=$(fls -r -p -o 2048 "$disk" | awk -F'\t' -v p="$rel:$name" '$2 == p && !done {
      n = split($1, a, " "); sub(":", "", a[n]); split(a[n], b, "-"); print b[2] "-" b[3]; done = 1 }')
    local got
    got=$(icat -o 2048 "$disk" "$rec-$type" | sha256sum | cut -d' ' -f1)
    [[ $got == "$sum" ]] && got=same || got=differs
    [[ ${M_STATE[$rel]} == deleted || $got == same ]] || img_die "stream $rel:$name reads back wrong"
    doc "| \`/$rel\` (record $rec, ${M_STATE[$rel]}) | \`$name\` (attribute $type) | $size | \`$sum\` | $got |"
  done
  doc ""
  photo_attrs() {
    istat -o 2048 "$disk" "${M_REC[Pictures/photo.jpg]}" | grep '^Type: '
  }
  doc_code "Attributes of \`/Pictures/photo.jpg\` (\`istat -o 2048 ntfs_tree.img ${M_REC[Pictures/photo.jpg]}\`):" photo_attrs

  party_rec=${M_REC[🎉party.txt]}
  party_off=$(mft_offset "$disk" "$party_rec")
  hex=$(xxd -p -l 1024 -s "$party_off" "$disk" | tr -d '\n')
  off=$(awk -v h="$hex" 'BEGIN { i = index(h, "3cd889df"); print (i - 1) / 2 }')
  [[ $off != -0.5 ]] || img_die "no surrogate pair in record $party_rec"
  doc "\`/🎉party.txt\` is record $party_rec (bytes $party_off to $((party_off + 1023)) of the disk):" \
    "the name in its \$FILE_NAME is UTF-16LE, and U+1F389 is stored as the surrogate pair" \
    "D83C DF89, bytes \`3c d8 89 df\` at offset $off of the record, followed by" \
    "\`$(xxd -p -l 18 -s $((party_off + off + 4)) "$disk")\` (\"party.txt\")." ""
  local with_list=() name_rec
  for rel in "${M_ORDER[@]}"; do
    [[ ${M_STATE[$rel]} == live ]] || continue
    [[ $(istat -o 2048 "$disk" "${M_REC[$rel]}") == *$'\nType: $ATTRIBUTE_LIST '* ]] &&
      with_list+=("$rel")
  done
  for rel in "${with_list[@]}"; do
    name_rec=${M_REC[$rel]}
    attr_list_of() {
      istat -o 2048 "$disk" "$name_rec" | grep -P '^Type: \d+-\d+\s+MFT Entry'
    }
    doc_code "\`/$rel\` (record $name_rec) has an \$ATTRIBUTE_LIST; its entries (\`istat -o 2048 ntfs_tree.img $name_rec\`):" attr_list_of
  done
  if [[ " ${with_list[*]} " == *" Documents "* ]]; then
    doc "(The index of \`/Documents\`, which holds the $((${#long} + 4))-character name, outgrew" \
      "the folder's record, so ntfs-3g moved its \$INDEX_ROOT to an extension record.)" ""
  fi
  doc_code "\`fls -r -p -o 2048 ntfs_tree.img\` (NTFS metadata files and \`\$OrphanFiles\` left out; \`*\` marks deleted):" fls_user "$disk"
  doc "\`\$OrphanFiles/OrphanFile-16\` to \`-23\` in \`fls -d\` listings are MFT records that mkntfs" \
    "reserves and leaves unused, not deleted user files." ""
  doc_code "\`fls -r -d -p -o 2048 ntfs_tree.img\` (deleted entries only):" fls -r -d -p -o 2048 "$disk"
  doc_end
  img_finish "$disk"
}

# ---- ntfs_fragmented_mft ---------------------------------------------------------------

# batch_file R I: content of file I of batch R; most are a few hundred bytes (resident), every
# tenth is 2 to 6 KB (non-resident).
batch_file() {
  if (($2 % 10 == 0)); then
    gen_text $((1000 * $1 + $2)) $((2000 + 800 * ($2 % 6)))
  else
    gen_text $((1000 * $1 + $2)) $((20 + 37 * ($2 % 11)))
  fi
}

# Free space (KiB) left beside /archive/fill.dat, and the size of each chunk in 4096-byte blocks:
# with less room the rounds run out of space, with more the MFT grows in one piece for longer.
FRAG_KEEP_KB=1200
FRAG_CHUNK_BLOCKS=8

build_ntfs_fragmented_mft() {
  local disk="$IMG_WORK/ntfs_fragmented_mft.img" free blocks r i nruns
  m_reset
  img_create "$disk" 10
  img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB 9MiB
  img_set_disk_id "$disk" 0x5a1e0012
  img_mkntfs "$disk" 1 FRAG_MFT 0x5a1e001200000001
  img_mount_ntfs "$disk" 1 "$mnt"

  # Fill the data zone first: ntfs-3g keeps the clusters after the MFT (its "MFT zone") for the
  # MFT while other space is free. Once it is full, the index blocks of new folders and the
  # chunk files land right after the MFT's end, and every later extension of the MFT has to
  # start a new run.
  free=$(df -k --output=avail "$mnt" | tail -1)
  blocks=$(((free - FRAG_KEEP_KB) / 4))
  mkd archive
  put archive/fill.dat gen_blocks fill 0 "$blocks"
  sync
  for ((r = 1; r <= 8; r++)); do
    for ((i = 1; i <= 50; i++)); do
      put "batch-$r/file-$(printf %03d "$i").txt" batch_file "$r" "$i"
    done
    put "archive/chunk-$r.dat" gen_blocks "chunk-$r" 0 "$FRAG_CHUNK_BLOCKS"
    sync
  done
  local -a removed=()
  for ((i = 3; i <= 50; i += 7)); do
    removed+=("batch-1/file-$(printf %03d "$i").txt" "batch-6/file-$(printf %03d "$i").txt")
    removed+=("batch-8/file-$(printf %03d "$i").txt")
  done
  m_records
  del "${removed[@]}" batch-4 archive/chunk-2.dat
  local left
  left=$(($(df -k --output=avail "$mnt" | tail -1)))
  img_umount_ntfs "$mnt"
  m_write ntfs_fragmented_mft

  nruns=$(ntfs_runs "$disk" 2048 0 | wc -l)
  ((nruns >= 3)) || img_die "the \$MFT of ntfs_fragmented_mft has only $nruns runs"
  check_records "$disk"
  ((${#FLS_MISSING[@]} == 0)) || img_die "fls does not list ${FLS_MISSING[*]}"
  readback_check "$disk"
  local first p rec
  first=$(first_extent_records "$disk")
  local live_beyond=0 deleted_beyond=0
  for p in "${M_ORDER[@]}"; do
    rec=${M_REC[$p]}
    if ((rec >= first)); then
      [[ ${M_STATE[$p]} == live ]] && live_beyond=$((live_beyond + 1))
      [[ ${M_STATE[$p]} == deleted ]] && deleted_beyond=$((deleted_beyond + 1))
    fi
  done
  ((live_beyond > 0 && deleted_beyond > 0)) ||
    img_die "no live and deleted files beyond the first MFT extent ($live_beyond, $deleted_beyond)"

  doc_begin ntfs_fragmented_mft "$SCRIPT" "A small NTFS volume whose \$MFT lies in $nruns runs, \
with live and deleted files in records of every run."
  doc_fs 1 "NTFS (mkntfs), label FRAG_MFT, serial 0x5A1E001200000001, files below"
  doc_mbr_table "$disk"
  doc "### How it was filled" ""
  doc "Mounted with ntfs-3g. First \`/archive/fill.dat\` ($((blocks * 4096)) bytes,"\
    "\`gen_blocks fill 0 $blocks\`) took all free space but $FRAG_KEEP_KB KiB, which fills the data" \
    "zone, so ntfs-3g soon has to serve allocations from the space next to the MFT that it" \
    "otherwise keeps for the MFT's growth. Then eight rounds of: folder \`/batch-R\` with 50" \
    "files \`file-001.txt\` to \`file-050.txt\` (20 to 390 bytes, resident, except every tenth:" \
    "2 to 6 KB), then \`/archive/chunk-R.dat\` ($((FRAG_CHUNK_BLOCKS * 4096)) bytes), then" \
    "\`sync\`. Non-resident files, folders' index blocks and the chunks take the clusters right" \
    "after the MFT's end, so once the first run is used up the MFT grows in small pieces." \
    "Finally these were deleted through the mount:" \
    "$(printf "\`/%s\` " "${removed[@]}")(files), \`/batch-4\` (the folder with its 50 files) and" \
    "\`/archive/chunk-2.dat\`. Nothing was created after the deletions; $left KiB were free" \
    "then." ""
  doc "\`ntfs_fragmented_mft.manifest.tsv\` lists all ${#M_ORDER[@]} entries:" \
    "$(m_count folder live) live folders, $(m_count folder deleted) deleted folder," \
    "$(m_count file live) live files, $(m_count file deleted) deleted files. Every entry's record" \
    "(ntfs-3g's inode number) is the one \`fls -r -p -o 2048\` lists; every live file reads back" \
    "through \`tsk_recover -a\` with the bytes written (both checked by the build), and" \
    "\`icat\` of $DELETED_SAME of the $(m_count file deleted) deleted files' records still gives" \
    "their bytes back." ""
  mft_runs_table() {
    local start len vcn=0
    echo "run  first cluster  clusters  records"
    while read -r start len; do
      printf '%3d  %13d  %8d  %d-%d\n' "$((++n))" "$start" "$len" "$((vcn * 4))" \
        "$(((vcn + len) * 4 - 1))"
      vcn=$((vcn + len))
    done < <(ntfs_runs "$disk" 2048 0)
  }
  local n=0
  doc_code "Runs of \$MFT's \$DATA (from \`istat -r -o 2048 ntfs_fragmented_mft.img 0\`; 4 records of 1024 bytes per 4096-byte cluster):" mft_runs_table
  mft_istat() {
    istat -r -o 2048 "$disk" 0 | sed -n '/^Attributes:/,$p'
  }
  doc_code "\`istat -r -o 2048 ntfs_fragmented_mft.img 0\` (attributes):" mft_istat
  gap_owners() {
    local start len prev_end=-1 c
    while read -r start len; do
      if ((prev_end >= 0)); then
        for ((c = prev_end; c < start; c++)); do
          printf 'cluster %d: record %s\n' "$c" "$(ifind -o 2048 -d "$c" "$disk")"
        done
      fi
      prev_end=$((start + len))
    done < <(ntfs_runs "$disk" 2048 0)
  }
  doc_code "What lies between the runs (\`ifind -o 2048 -d CLUSTER\`):" gap_owners
  doc "Records 0 to $((first - 1)) are in the first run; $live_beyond live and $deleted_beyond" \
    "deleted manifest entries have records beyond it. Some of them:" ""
  beyond_sample() {
    local p
    for p in "${M_ORDER[@]}"; do
      ((M_REC[$p] >= first)) && printf '%s\t%s\t%s\n' "${M_REC[$p]}" "${M_STATE[$p]}" "$p"
    done | sort -n -k1,1 | awk -F'\t' 'NR % 25 == 1 || $2 == "deleted" && ++d % 12 == 1 {
      printf "%6d  %-8s  /%s\n", $1, $2, $3 }'
  }
  doc_code "Record, state and path:" beyond_sample
  doc_end
  img_finish "$disk"
}

# ---- ntfs_attribute_list ---------------------------------------------------------------

INTERLEAVED_BLOCKS=1600
DELETED_BLOCKS=400

# interleave REL PREFIX COUNT: grows file REL by COUNT blocks of 4096 bytes (block K is
# `block NAME K`), writing the new file PREFIX-KKKK.bin (`block part-K 0`, NAME-K for its own
# name) after each one.
interleave() {
  local rel=$1 prefix=$2 count=$3 k part name=${1##*/}
  local -a parts=()
  mkd "${prefix%/*}"
  for ((k = 0; k < count; k++)); do
    block "$name" "$k" >>"$mnt/$rel"
    printf -v part '%s-%04d.bin' "$prefix" "$k"
    block "${prefix##*/}-$k" 0 >"$mnt/$part"
    parts+=("$part")
  done
  note_files "$rel" "${parts[@]}"
}

build_ntfs_attribute_list() {
  local disk="$IMG_WORK/ntfs_attribute_list.img" k i
  m_reset
  img_create "$disk" 40
  img_parted "$disk" mklabel msdos mkpart primary ntfs 1MiB 39MiB
  img_set_disk_id "$disk" 0x5a1e0013
  img_mkntfs "$disk" 1 ATTR_LIST 0x5a1e001300000001
  img_mount_ntfs "$disk" 1 "$mnt"

  # 71 names for one file, each in a folder of its own: the $FILE_NAME attributes no longer fit
  # in the base record, and ntfs-3g moves them to extension records listed in an
  # $ATTRIBUTE_LIST.
  put shared/original.txt gen_text 40 3000
  for ((i = 1; i <= 70; i++)); do
    hardlink shared/original.txt "links/group-$(printf %02d "$i")/copy of original $i.txt"
  done

  # A file grown one cluster at a time while a new one-cluster file is written after each
  # step: its clusters alternate with theirs, so every cluster is a run of its own and the run
  # list fills several extension records.
  interleave fragmented/interleaved.bin fragmented/parts/part "$INTERLEAVED_BLOCKS"
  # The same, for a file deleted at the end: its base and extension records are freed together.
  interleave fragmented/deleted.bin fragmented/spacers/spacer "$DELETED_BLOCKS"
  sync
  m_records
  del fragmented/deleted.bin
  img_umount_ntfs "$mnt"
  m_write ntfs_attribute_list

  check_records "$disk"
  readback_check "$disk"
  local p rec
  local orig=${M_REC[shared/original.txt]} inter=${M_REC[fragmented/interleaved.bin]}
  local gone=${M_REC[fragmented/deleted.bin]}
  for rec in "$orig" "$inter" "$gone"; do
    [[ $(istat -o 2048 "$disk" "$rec") == *$'\nType: $ATTRIBUTE_LIST '* ]] ||
      img_die "record $rec has no \$ATTRIBUTE_LIST"
  done
  # extension_records RECORD [TYPE]: the other records named by RECORD's attribute list (those
  # holding attributes of type TYPE, e.g. 128, if given).
  extension_records() {
    istat -o 2048 "$disk" "$1" | awk -v base="$1" -v type="${2:-}" '/^Type: [0-9]+-[0-9]+[ \t]+MFT Entry: / {
      for (i = 1; i <= NF; i++) if ($i == "Entry:") e = $(i + 1)
      if (type != "" && $2 !~ "^" type "-") next
      if (e != base && !seen[e]++) printf "%s ", e }'
  }
  local orig_ext gone_listed gone_ext
  orig_ext=$(extension_records "$orig")
  gone_listed=$(extension_records "$gone")
  gone_ext=$(ntfs_records_with_base "$disk" 2048 "$gone" | tr '\n' ' ')
  local inter_data
  inter_data=$(extension_records "$inter" 128)
  (($(wc -w <<<"$inter_data") >= 2)) ||
    img_die "interleaved.bin's \$DATA spans too few records: $inter $inter_data"

  attr_lines() {
    istat -o 2048 "$disk" "$1" | sed -n '/^Attributes:/,$p' | grep '^Type: '
  }
  list_lines() {
    istat -o 2048 "$disk" "$1" | grep -P '^Type: \d+-\d+\s+MFT Entry'
  }
  doc_begin ntfs_attribute_list "$SCRIPT" "Files whose attributes overflow their MFT record, so \
their base record holds an \$ATTRIBUTE_LIST naming extension records: a file with 71 hard links, \
a file whose \$DATA run list fills several records, and a deleted file of the same kind."
  doc_fs 1 "NTFS (mkntfs), label ATTR_LIST, serial 0x5A1E001300000001, files below"
  doc_mbr_table "$disk"
  doc "### Files" ""
  doc "Mounted with ntfs-3g. \`ntfs_attribute_list.manifest.tsv\` lists all ${#M_ORDER[@]}" \
    "entries ($(m_count folder live) folders, $(m_count file live) live file names," \
    "$(m_count file deleted) deleted file). Every record (ntfs-3g's inode number) matches" \
    "\`fls -r -p -o 2048\` where fls lists the path, and every live file reads back through" \
    "\`tsk_recover -a\` with the bytes written (both checked by the build)." ""
  doc "| Path | Bytes | SHA-256 | State | Base record | Extension records (records whose header names the base record) | icat |"
  doc "|---|---|---|---|---|---|---|"
  local -a show=(shared/original.txt fragmented/interleaved.bin fragmented/deleted.bin)
  local exts
  for p in "${show[@]}"; do
    rec=${M_REC[$p]}
    exts=$(ntfs_records_with_base "$disk" 2048 "$rec" | tr '\n' ' ')
    doc "| \`/$p\` | ${M_SIZE[$p]} | \`${M_SHA[$p]}\` | ${M_STATE[$p]} | $rec | ${exts% } | $(icat_check "$disk" "$p") |"
  done
  doc ""
  doc "- \`/shared/original.txt\` also has the 70 names \`/links/group-NN/copy of original N.txt\`" \
    "(NN = 01 to 70, each in a folder of its own), all made with \`ln\` through the mount:" \
    "$(istat -o 2048 "$disk" "$orig" | grep -c '^Type: \$FILE_NAME') \$FILE_NAME attributes," \
    "$(istat -o 2048 "$disk" "$orig" | awk '/^Links:/ {print $2}') links. The base record keeps" \
    "$(list_lines "$orig" | awk -v r="$orig" '$2 ~ /^48-/ && $5 == r' | wc -l) of the names," \
    "the others lie in records ${orig_ext% }." \
    "- \`/fragmented/interleaved.bin\` is $INTERLEAVED_BLOCKS blocks of 4096 bytes" \
    "(\`gen_blocks interleaved.bin K 1\`, K = 0 to $((INTERLEAVED_BLOCKS - 1))) appended one at a" \
    "time, each append followed by writing a new 4096-byte file" \
    "\`/fragmented/parts/part-KKKK.bin\` (\`gen_blocks part-K 0 1\`), so its clusters mostly" \
    "alternate with theirs:" \
    "$(ntfs_runs "$disk" 2048 "$inter" | wc -l) runs. Its \$DATA run list goes on in extension" \
    "records ${inter_data% } (ntfs-3g also moved its \$FILE_NAME out of the base record)." \
    "- \`/fragmented/deleted.bin\` was built the same way ($DELETED_BLOCKS blocks, spacer files" \
    "\`/fragmented/spacers/spacer-KKKK.bin\`) and then deleted with \`rm\`. Nothing was created" \
    "after." ""
  local gone_bytes gone_kept gone_named=""
  gone_bytes=$(icat -o 2048 "$disk" "$gone" | wc -c)
  gone_kept=$(for rec in $gone_ext; do
    [[ " $gone_listed " == *" $rec "* ]] || printf '%s ' "$rec"
  done)
  for rec in $gone_listed; do
    [[ $(istat -o 2048 "$disk" "$rec") == *$'\nType: $FILE_NAME '* ]] && gone_named=$rec
  done
  doc "How ntfs-3g left \`/fragmented/deleted.bin\`: base record $gone and extension records" \
    "${gone_ext% } are all marked not in use, and icat of the base record gives $gone_bytes of" \
    "its ${M_SIZE[fragmented/deleted.bin]} bytes."
  if [[ -z $gone_named ]]; then
    doc "The base record's attribute list still names record(s) ${gone_listed% } for the" \
      "\$FILE_NAME, but unlinking removed it from that record, so the MFT no" \
      "longer holds the file's name and \`fls\` does not list the file."
  fi
  if [[ -n $gone_kept ]]; then
    doc "ntfs-3g also dropped from the attribute list the entry of record(s) ${gone_kept% }," \
      "which still hold the rest of the \$DATA run list (from VCN $((gone_bytes / 4096)) on) and" \
      "name $gone as their base record; only a reader that looks for records naming $gone as" \
      "their base finds them."
  fi
  doc "The manifest line for the file is what the build did; its record number is the inode" \
    "number ntfs-3g reported before the deletion." ""
  doc_code "\`istat -o 2048 ntfs_attribute_list.img $orig\` (\`/shared/original.txt\`), attributes:" attr_lines "$orig"
  doc_code "Its attribute list (record and first VCN of every attribute):" list_lines "$orig"
  doc_code "\`istat -o 2048 ntfs_attribute_list.img $inter\` (\`/fragmented/interleaved.bin\`), attributes:" attr_lines "$inter"
  doc_code "Its attribute list:" list_lines "$inter"
  first_runs() {
    ntfs_runs "$disk" 2048 "$inter" | awk 'NR <= 8'
    echo "..."
  }
  doc_code "First runs of its \$DATA (\`istat -r\`, first cluster and length):" first_runs
  doc_code "\`istat -o 2048 ntfs_attribute_list.img $gone\` (\`/fragmented/deleted.bin\`, deleted), attributes:" attr_lines "$gone"
  doc_code "Its attribute list:" list_lines "$gone"
  dir_listing() {
    fls_user "$disk" | grep -v -P '\t(fragmented/parts/|fragmented/spacers/|links/)'
    echo "(the 70 folders links/group-NN with their files, the $INTERLEAVED_BLOCKS files" \
      "fragmented/parts/part-KKKK.bin and the $DELETED_BLOCKS files" \
      "fragmented/spacers/spacer-KKKK.bin left out)"
  }
  doc_code "\`fls -r -p -o 2048 ntfs_attribute_list.img\` (metadata files left out):" dir_listing
  doc_end
  img_finish "$disk"
}

# Any further arguments name the images to build (all three by default).
images=("${@:2}")
((${#images[@]})) || images=(ntfs_tree ntfs_fragmented_mft ntfs_attribute_list)
for image in "${images[@]}"; do
  case $image in
    ntfs_tree | ntfs_fragmented_mft | ntfs_attribute_list) "build_$image" ;;
    *) img_die "unknown image $image" ;;
  esac
done
