# shellcheck shell=bash
# Shared helpers for the fixture image builders (make_demo_image.sh, make_test_images.sh).
#
# Images are raw disks with 512-byte sectors, built in a scratch folder as sparse files and
# stored gzip-compressed. Filesystems are written on loop devices bound to each partition's
# byte range (losetup --offset/--sizelimit), so logical drives need no partition scanning.
# NTFS volumes are populated through an ntfs-3g mount, FAT volumes with mtools.
#
# Every loop device, mount and scratch folder is registered and released by img_cleanup,
# which the builders install as their EXIT trap.
#
# Sections of tests/data/README.md are written from real tool output (partx, mmls, sgdisk,
# fls) read back from each image after it is built.

IMG_SECTOR=512
IMG_LOOPS=()
IMG_MOUNTS=()
IMG_FUSE_PIDS=()
IMG_WORK=""
IMG_OUT=""
IMG_DOC=""

# Canonical order of README sections; sections of unknown images follow in name order.
IMG_README_ORDER=(demo mbr_ntfs_only mbr_primaries mbr_extended mbr_many_logical
  mbr_type_mismatch mbr_chain_type1 mbr_loop_chain mbr_at_61 gpt_basic gpt_damaged_primary)

img_die() {
  echo "error: $*" >&2
  exit 1
}

img_require_tools() {
  local missing=() tool
  for tool in parted sfdisk partx losetup mkntfs ntfs-3g mkfs.vfat mcopy mmd mmls fls sgdisk \
    gzip xxd awk mountpoint; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  if ((${#missing[@]})); then
    img_die "missing tools: ${missing[*]} (Debian packages: parted fdisk util-linux ntfs-3g" \
      "dosfstools mtools sleuthkit gdisk xxd)"
  fi
  [[ $(id -u) -eq 0 ]] || img_die "must run as root (loop devices and FUSE mounts)"
  [[ -e /dev/fuse ]] || img_die "/dev/fuse is missing"
}

img_cleanup() {
  local status=$?
  set +e
  local i
  for ((i = ${#IMG_MOUNTS[@]} - 1; i >= 0; i--)); do
    mountpoint -q "${IMG_MOUNTS[i]}" 2>/dev/null && umount "${IMG_MOUNTS[i]}"
  done
  for i in "${IMG_FUSE_PIDS[@]}"; do
    wait "$i" 2>/dev/null
  done
  for ((i = ${#IMG_LOOPS[@]} - 1; i >= 0; i--)); do
    losetup "${IMG_LOOPS[i]}" >/dev/null 2>&1 && losetup -d "${IMG_LOOPS[i]}"
  done
  [[ -n $IMG_WORK && -d $IMG_WORK ]] && rm -rf "$IMG_WORK"
  return "$status"
}

# img_setup OUTDIR: checks tools, installs the cleanup trap, makes the scratch folder.
img_setup() {
  IMG_OUT=$1
  img_require_tools
  trap img_cleanup EXIT
  trap 'exit 130' INT TERM
  mkdir -p "$IMG_OUT"
  IMG_WORK=$(mktemp -d "${TMPDIR:-/tmp}/salvex-images.XXXXXX")
  # ntfs-3g and mtools read names as UTF-8.
  export LC_ALL=C.UTF-8
  export MTOOLS_SKIP_CHECK=1
}

# img_create FILE MIB: a fresh all-zero (sparse) disk of MIB mebibytes.
img_create() {
  rm -f "$1"
  truncate -s "$2M" "$1"
}

# parted on an image file tries to call udevadm; that noise is dropped, real errors are kept.
img_parted() {
  local file=$1 err
  shift
  if ! err=$(parted -s "$file" "$@" 2>&1 >/dev/null); then
    echo "$err" | grep -v udevadm >&2
    return 1
  fi
  [[ -z $err ]] || echo "$err" | grep -v udevadm >&2 || true
}

# img_part FILE N: sets PART_START and PART_SECTORS of partition N (as the kernel numbers it).
img_part() {
  local line
  line=$(partx -g -o START,SECTORS -n "$2" "$1") || img_die "no partition $2 in $1"
  read -r PART_START PART_SECTORS <<<"$line"
}

img_set_type() {
  sfdisk -q --part-type "$1" "$2" "$3" >/dev/null
}

img_set_disk_id() {
  sfdisk -q --disk-id "$1" "$2" >/dev/null
}

# img_attach FILE START SECTORS: binds a loop device to that sector range; sets IMG_DEV.
img_attach() {
  IMG_DEV=$(losetup --find --show --offset $(($2 * IMG_SECTOR)) \
    --sizelimit $(($3 * IMG_SECTOR)) "$1")
  IMG_LOOPS+=("$IMG_DEV")
}

img_detach() {
  sync
  losetup -d "$1"
  # Forget it: once released the device may be bound by another process, and the cleanup must
  # not release that one.
  local kept=() dev
  for dev in "${IMG_LOOPS[@]}"; do
    [ "$dev" = "$1" ] || kept+=("$dev")
  done
  IMG_LOOPS=("${kept[@]}")
}

# img_write_bytes FILE OFFSET HEX: writes the bytes given as hex digits at byte OFFSET.
img_write_bytes() {
  printf '%s' "$3" | xxd -r -p | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# img_le HEXWIDTH VALUE: VALUE as little-endian hex digits, HEXWIDTH bytes long.
img_le() {
  local hex out="" i
  hex=$(printf "%0$(($1 * 2))x" "$2")
  for ((i = ${#hex} - 2; i >= 0; i -= 2)); do
    out+=${hex:i:2}
  done
  printf '%s' "$out"
}

# img_read_le FILE OFFSET WIDTH: unsigned little-endian integer read from the file.
img_read_le() {
  local hex
  hex=$(xxd -s "$2" -l "$3" -e -g "$3" "$1" | awk '{print $2}')
  echo $((16#$hex))
}

# img_read_text FILE OFFSET LENGTH: printable bytes at OFFSET.
img_read_text() {
  dd if="$1" bs=1 skip="$2" count="$3" status=none | tr -c '[:print:]' '.'
}

# img_mkntfs FILE N LABEL SERIAL: NTFS on partition N with the partition start as hidden
# sectors and 255/63 geometry; the volume serial (boot offset 0x48, in both the boot sector and
# its backup in the partition's last sector) is then set to SERIAL so rebuilds stay comparable.
img_mkntfs() {
  local file=$1 n=$2 label=$3 serial=$4 total
  img_part "$file" "$n"
  img_attach "$file" "$PART_START" "$PART_SECTORS"
  mkntfs -q -Q -F -s "$IMG_SECTOR" -p "$PART_START" -H 255 -S 63 -L "$label" "$IMG_DEV"
  img_detach "$IMG_DEV"
  total=$(img_read_le "$file" $((PART_START * IMG_SECTOR + 40)) 8)
  img_write_bytes "$file" $((PART_START * IMG_SECTOR + 0x48)) "$(img_le 8 "$serial")"
  img_write_bytes "$file" $(((PART_START + total) * IMG_SECTOR + 0x48)) "$(img_le 8 "$serial")"
}

# img_mkfat FILE N BITS LABEL SECTORS_PER_CLUSTER VOLUME_ID
img_mkfat() {
  local file=$1 n=$2
  img_part "$file" "$n"
  img_attach "$file" "$PART_START" "$PART_SECTORS"
  mkfs.vfat --invariant -F "$3" -s "$5" -S "$IMG_SECTOR" -h "$PART_START" -g 255/63 \
    -n "$4" -i "$6" "$IMG_DEV" >/dev/null
  img_detach "$IMG_DEV"
}

# img_mount_ntfs FILE N DIR: mounts partition N read-write with ntfs-3g (kept in the
# foreground so its exit can be awaited after umount, when every write has reached the image).
img_mount_ntfs() {
  img_mount_ntfs_opts "" "$@"
}

img_umount_ntfs() {
  sync
  umount "$1"
  wait "$IMG_MOUNT_PID"
  img_detach "$IMG_MOUNT_DEV"
}

# img_fat_put FILE N SRC DEST: copies SRC into the FAT volume on partition N (parent folders
# must exist; img_fat_mkdir makes them).
img_fat_put() {
  img_part "$1" "$2"
  mcopy -o -m -i "$1@@$((PART_START * IMG_SECTOR))" "$3" "::$4"
}

img_fat_mkdir() {
  img_part "$1" "$2"
  mmd -i "$1@@$((PART_START * IMG_SECTOR))" "::$3"
}

# gen_bytes SEED COUNT: COUNT deterministic pseudo-random bytes (Park-Miller generator, high
# byte of each 31-bit state).
gen_bytes() {
  LC_ALL=C awk -v seed="$1" -v n="$2" 'BEGIN {
    x = seed % 2147483646 + 1
    for (i = 0; i < n; i++) { x = (x * 16807) % 2147483647; printf "%c", int(x / 8388608) }
  }'
}

# gen_text SEED COUNT: COUNT bytes of deterministic text lines made of common words.
gen_text() {
  LC_ALL=C awk -v seed="$1" -v n="$2" 'BEGIN {
    nw = split("the disk sector volume record folder file cluster index table entry backup " \
      "report data value total north south quarter sales budget meeting note draft " \
      "review final copy page", w, " ")
    x = seed % 2147483646 + 1; out = 0; line = 1
    while (out < n) {
      s = sprintf("%06d", line++)
      k = 4 + (x % 9)
      for (j = 0; j < k; j++) { x = (x * 16807) % 2147483647; s = s " " w[1 + x % nw] }
      s = s "\n"
      if (out + length(s) > n) s = substr(s, 1, n - out)
      printf "%s", s; out += length(s)
    }
  }'
}

# gen_log SEED COUNT: COUNT bytes of log lines (timestamps and counters; compresses well).
gen_log() {
  LC_ALL=C awk -v seed="$1" -v n="$2" 'BEGIN {
    x = seed % 2147483646 + 1; out = 0; i = 0
    split("ok retry ok ok done ok", st, " ")
    while (out < n) {
      x = (x * 16807) % 2147483647; i++
      s = sprintf("2024-%02d-%02d %02d:%02d:%02d host%d service[%d]: request %d status %s\n",
        1 + int(i / 40000) % 12, 1 + int(i / 1500) % 28, int(i / 60) % 24, i % 60, x % 60,
        1 + x % 3, 100 + x % 7, i, st[1 + x % 6])
      if (out + length(s) > n) s = substr(s, 1, n - out)
      printf "%s", s; out += length(s)
    }
  }'
}

# gen_jpeg / gen_png / gen_mp3 SEED COUNT: COUNT bytes that start with the format's signature
# (and a JPEG ends with its end marker), filled by gen_bytes.
gen_jpeg() {
  printf '\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00'
  gen_bytes "$1" $(($2 - 22))
  printf '\xff\xd9'
}

gen_png() {
  printf '\x89PNG\r\n\x1a\n'
  gen_bytes "$1" $(($2 - 8))
}

gen_mp3() {
  printf 'ID3\x03\x00\x00\x00\x00\x00\x00'
  gen_bytes "$1" $(($2 - 10))
}

# img_finish FILE: stores FILE compressed as OUT/NAME.img.gz.
img_finish() {
  local name
  name=$(basename "$1" .img)
  gzip -9 -n -c "$1" >"$IMG_OUT/$name.img.gz"
  echo "wrote $IMG_OUT/$name.img.gz ($(stat -c %s "$IMG_OUT/$name.img.gz") bytes)"
}

# ---- README sections -------------------------------------------------------------------

# doc_begin NAME SCRIPT TEXT: starts the README section of image NAME.
doc_begin() {
  IMG_DOC_NAME=$1
  IMG_DOC="$IMG_WORK/$1.md"
  declare -gA DOC_FS=()
  {
    echo "## $1.img.gz"
    echo
    echo "Built by \`tools/$2\`. $3"
    echo
  } >"$IMG_DOC"
}

doc() {
  printf '%s\n' "$@" >>"$IMG_DOC"
}

# doc_fs N TEXT: what was written on partition N.
doc_fs() {
  DOC_FS[$1]=$2
}

# doc_code TITLE COMMAND...: runs COMMAND and quotes its output.
doc_code() {
  local title=$1
  shift
  local out status=0
  out=$(cd "$(dirname "$IMG_DOC")" && "$@" 2>&1) || status=$?
  out=$(grep -v udevadm <<<"$out" || true)
  {
    echo "$title"
    echo
    echo '```'
    if [[ -n $out ]]; then echo "$out"; fi
    if ((status != 0)); then echo "(exit status $status)"; fi
    echo '```'
    echo
  } >>"$IMG_DOC"
}

# What the first sector of a volume says it is.
doc_volume_kind() {
  local file=$1 start=$2 base=$(($2 * IMG_SECTOR))
  if [[ $(img_read_text "$file" $((base + 3)) 8) == "NTFS    " ]]; then
    echo "NTFS boot sector, total sectors (offset 40) = $(img_read_le "$file" $((base + 40)) 8)"
  elif [[ $(img_read_text "$file" $((base + 82)) 8) == "FAT32   " ]]; then
    echo "FAT32 boot sector (\"FAT32\" at offset 82), hidden sectors = \
$(img_read_le "$file" $((base + 28)) 4)"
  elif [[ $(img_read_text "$file" $((base + 54)) 5) == FAT1? ]]; then
    echo "$(img_read_text "$file" $((base + 54)) 5) boot sector (at offset 54), hidden sectors = \
$(img_read_le "$file" $((base + 28)) 4)"
  elif [[ -z $(dd if="$file" bs=512 skip="$start" count=1 status=none | tr -d '\0') ]]; then
    echo "first sector all zero"
  else
    echo "first sector holds unrecognised data"
  fi
}

# doc_mbr_table FILE: the MBR table of FILE, one row per entry in table order, from partx and
# mmls (the extended boot record of each logical drive comes from mmls's "Extended Table" rows).
doc_mbr_table() {
  local file=$1 nr start sectors type slot ebr kind
  local -a ebrs
  mapfile -t ebrs < <(mmls "$file" | awk '/Extended Table \(#/ {print $3 + 0}')
  doc "Disk: $(($(stat -c %s "$file") / IMG_SECTOR)) sectors of 512 bytes, MBR, disk id $(sfdisk --disk-id "$file")." ""
  doc "| Slot | Type | First sector | Sectors | Written | First sector of the volume now |"
  doc "|---|---|---|---|---|---|"
  while read -r nr start sectors type; do
    type=$(printf '0x%02x' "$type")
    if ((nr <= 4)); then
      slot="MBR entry $((nr - 1)) (partition $nr)"
    else
      ebr=${ebrs[nr - 5]:-?}
      slot="logical $((nr - 4)): EBR at sector $ebr, entry 0 (partition $nr)"
    fi
    kind=$(doc_volume_kind "$file" "$start")
    [[ $type == 0x05 || $type == 0x0f || $type == 0x85 ]] && kind="(extended partition)"
    doc "| $slot | $type | $start | $sectors | ${DOC_FS[$nr]:-nothing} | $kind |"
  done < <(partx -g -o NR,START,SECTORS,TYPE "$file")
  doc ""
  doc_code "\`mmls\`:" mmls "$file"
}

# doc_gpt_table FILE: the GPT entries of FILE, from partx and sgdisk.
doc_gpt_table() {
  local file=$1 nr start sectors type name kind
  local last=$(($(stat -c %s "$file") / IMG_SECTOR - 1))
  doc "Disk: $((last + 1)) sectors of 512 bytes, GPT: protective MBR, primary header at LBA 1, backup header at LBA $last." ""
  doc "| Slot | Type GUID | Name | First sector | Sectors | Written | First sector of the volume now |"
  doc "|---|---|---|---|---|---|---|"
  while read -r nr start sectors type name; do
    kind=$(doc_volume_kind "$file" "$start")
    doc "| GPT entry $((nr - 1)) (partition $nr) | $type | $name | $start | $sectors | ${DOC_FS[$nr]:-nothing} | $kind |"
  done < <(partx -g -o NR,START,SECTORS,TYPE,NAME "$file")
  doc ""
  doc_code "\`sgdisk -p\`:" sgdisk -p "$(basename "$file")"
}

doc_end() {
  doc_update_readme "$IMG_DOC_NAME" "$IMG_DOC"
}

# doc_update_readme NAME FILE: replaces (or adds) the section of image NAME in README.md.
doc_update_readme() {
  local readme="$IMG_OUT/README.md" secdir="$IMG_WORK/sections" name
  rm -rf "$secdir"
  mkdir -p "$secdir"
  if [[ -f $readme ]]; then
    awk -v dir="$secdir" '
      /^<!-- image: / { name = $3; next }
      /^<!-- end: / { name = ""; next }
      name != "" { print > (dir "/" name ".md") }' "$readme"
  fi
  cp "$2" "$secdir/$1.md"
  {
    doc_readme_header
    for name in "${IMG_README_ORDER[@]}"; do
      doc_emit_section "$secdir" "$name"
    done
    for name in $(ls "$secdir" | sed 's/\.md$//' | sort); do
      [[ " ${IMG_README_ORDER[*]} " == *" $name "* ]] || doc_emit_section "$secdir" "$name"
    done
  } >"$readme.tmp"
  mv "$readme.tmp" "$readme"
}

doc_emit_section() {
  [[ -f $1/$2.md ]] || return 0
  echo "<!-- image: $2 -->"
  cat "$1/$2.md"
  echo "<!-- end: $2 -->"
  echo
}

doc_readme_header() {
  cat <<'EOF'
# Test disk images

Raw disk images (512-byte sectors), stored with `gzip -9 -n`. They are built with real tools
(parted, sfdisk, sgdisk, mkntfs, mkfs.vfat, ntfs-3g, mtools) by `tools/make_demo_image.sh` and
`tools/make_test_images.sh`; both take the output folder as their argument (default
`tests/data`), need root, loop devices and FUSE (Debian packages: parted fdisk ntfs-3g
dosfstools mtools sleuthkit gdisk xxd), and rewrite their own sections of this file.
Unpack one with `gunzip -k tests/data/NAME.img.gz` (or read it through zlib in a test).

Every section below is generated after the image was built: the tables come from `partx` and
`mmls` or `sgdisk` run on the image itself, and the "First sector of the volume now" column is
read back from the image (for patched images: before the patch, which is described under the
table). Slots are listed in table order; logical drives are numbered in chain order as Linux
numbers them (5, 6, ...). Sector numbers are absolute LBAs of the whole disk.

Every NTFS volume is made with `mkntfs -Q -s 512 -p START -H 255 -S 63` (hidden sectors =
partition start, 4096-byte clusters, 1024-byte MFT records), so its boot sector's total-sectors
field is the partition's size minus one (the backup boot sector lies in the partition's last
sector); its volume serial (boot sector offset 0x48, also in the backup) is then set to a fixed
value. Every FAT volume is made with `mkfs.vfat --invariant -h START -g 255/63` and a fixed
volume id.

File contents come from deterministic generators in `tools/imagelib.sh`: `gen_text SEED N`
(lines of words), `gen_bytes SEED N` (Park-Miller pseudo-random bytes), and `gen_jpeg`,
`gen_png`, `gen_mp3` (a format signature followed by `gen_bytes`). Timestamps are those of the
build; NTFS record numbers follow from the order of operations.

EOF
}

# ---- NTFS content fixtures (make_ntfs_images.sh) --------------------------------------

IMG_README_ORDER+=(ntfs_tree ntfs_fragmented_mft ntfs_attribute_list)

# img_mount_ntfs_opts OPTIONS FILE N DIR: img_mount_ntfs with extra ntfs-3g options (comma
# separated, e.g. streams_interface=windows to reach named streams as FILE:STREAM).
img_mount_ntfs_opts() {
  local opts=$1 file=$2 n=$3 dir=$4 tries=0
  img_part "$file" "$n"
  img_attach "$file" "$PART_START" "$PART_SECTORS"
  mkdir -p "$dir"
  ntfs-3g -o "no_detach${opts:+,$opts}" "$IMG_DEV" "$dir" >"$IMG_WORK/ntfs-3g.log" 2>&1 &
  IMG_FUSE_PIDS+=("$!")
  IMG_MOUNTS+=("$dir")
  IMG_MOUNT_PID=$!
  IMG_MOUNT_DEV=$IMG_DEV
  until mountpoint -q "$dir"; do
    kill -0 "$IMG_MOUNT_PID" 2>/dev/null || {
      cat "$IMG_WORK/ntfs-3g.log" >&2
      img_die "ntfs-3g failed to mount partition $n of $file"
    }
    ((++tries < 100)) || img_die "timed out mounting partition $n of $file"
    sleep 0.1
  done
}

# gen_blocks TAG FIRST COUNT: COUNT blocks of 4096 bytes numbered from FIRST; each is a line
# "TAG block NNNNNN" followed by a fixed filler, so every cluster of a file is told apart (and
# misplaced clusters change the file's hash) while the image still compresses well.
gen_blocks() {
  LC_ALL=C awk -v tag="$1" -v first="$2" -v n="$3" 'BEGIN {
    fill = ""
    while (length(fill) < 4096) fill = fill "0123456789abcdefghijklmnopqrstuvwxyz-."
    for (k = first; k < first + n; k++) {
      head = sprintf("%s block %06d\n", tag, k)
      printf "%s%s\n", head, substr(fill, 1, 4096 - length(head) - 1)
    }
  }'
}

# ntfs_runs FILE START RECORD [TYPE-ID]: the run list of an attribute (default: the unnamed
# $DATA, 128-N) of MFT record RECORD as "first_cluster length" lines, from `istat -r`.
ntfs_runs() {
  istat -r -o "$2" "$1" "$3" | awk -v want="${4:-}" '
    /^Type: / { on = 0
      if (want != "" ? index($0, "(" want ")") : ($2 == "$DATA" && $5 == "N/A")) on = 1
      next }
    on && /Starting address:/ { gsub(",", ""); print $3, $5 }'
}

# fls_records FILE START: "record<TAB>path<TAB>flag" for every entry of `fls -r -p`, flag being
# "deleted" where fls marks the entry with "*" and "live" otherwise.
fls_records() {
  fls -r -p -o "$2" "$1" | awk -F'\t' '{
    n = split($1, a, " "); split(a[n], b, "-"); sub(":", "", b[1])
    print b[1] "\t" $2 "\t" ($1 ~ / \* / ? "deleted" : "live") }'
}

# ntfs_records_with_base FILE START BASE: the MFT records (in use or not) whose header names
# record BASE as their base record, i.e. BASE's extension records.
ntfs_records_with_base() {
  icat -o "$2" "$1" 0 | xxd -p -c 1024 | awk -v want="$(img_le 6 "$3")" '
    substr($0, 1, 8) == "46494c45" && substr($0, 65, 12) == want { printf "%d\n", NR - 1 }'
}
