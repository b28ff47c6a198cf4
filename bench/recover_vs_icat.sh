#!/usr/bin/env bash
# Recovery of one 512 MiB file in about 500 runs (its run list spread over extension records)
# with salvex-cli beside `icat` of The Sleuth Kit, both reading the image from the page cache;
# then checks that both wrote the same bytes.
#   bench/recover_vs_icat.sh BUILD_DIR [IMAGE [PATH]]
# Without IMAGE, the disk is built once with `tools/build_images.py bench-fragmented` (needs root
# and FUSE)
# and kept in BUILD_DIR/bench-fragmented.img. PATH is the file's path as `salvex-cli list`
# prints it (default /fragmented.bin); its MFT record for icat comes from `fls`.
set -euo pipefail
build=${1:?usage: recover_vs_icat.sh BUILD_DIR [IMAGE [PATH]]}
image=${2:-$build/bench-fragmented.img}
path=${3:-/fragmented.bin}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/cli/salvex-cli"
icat_out=/tmp/out.icat
salvex_dir=/tmp/salvex-bench-out

if [ ! -f "$image" ]; then
    echo "Building $image (about a minute, once)..."
    "$here/tools/build_images.py" bench-fragmented "$image"
fi
command -v icat >/dev/null || { echo "icat not found: apt-get install sleuthkit" >&2; exit 1; }
[ -x "$cli" ] || { echo "$cli not found: build it first (make build)" >&2; exit 1; }

start=$(sfdisk -d "$image" 2>/dev/null | awk -F'[=,]' '/start=/{gsub(/ /,"",$2); print $2; exit}')
# awk reads every line (no early exit), so no writer in these pipelines dies of SIGPIPE.
record=$(fls -r -p -o "$start" "$image" | awk -F'\t' -v p="${path#/}" '
    $2 == p && $1 !~ / \* / && !found { n = split($1, a, " "); split(a[n], b, "-")
                                         sub(":", "", b[1]); print b[1]; found = 1 }')
[ -n "$record" ] || { echo "fls does not list $path in $image" >&2; exit 1; }
istat -r -o "$start" "$image" "$record" | awk -v p="$path" -v r="$record" '
    /^Type: / { on = ($2 == "$DATA" && $5 == "N/A")
                if (on) for (i = 1; i <= NF; i++) if ($i == "size:") size = $(i + 1)
                next }
    on && /Starting address:/ { runs++ }
    END { printf "%s: MFT record %s, %s bytes in %d runs\n", p, r, size, runs }'

trap 'rm -rf "$icat_out" "$salvex_dir"' EXIT
rm -rf "$icat_out" "$salvex_dir"
mkdir -p "$salvex_dir"
cat "$image" > /dev/null  # into the page cache

echo "== icat -o $start IMAGE $record"
/usr/bin/time -f "icat time       %e s (max RSS %M KiB)" \
    icat -o "$start" "$image" "$record" > "$icat_out"
echo "== salvex-cli recover"
/usr/bin/time -f "salvex time     %e s (max RSS %M KiB)" \
    "$cli" recover --quiet "$image" --partition 1 --to "$salvex_dir" "$path" --duplicates overwrite

icat_sum=$(sha256sum < "$icat_out" | cut -d' ' -f1)
salvex_sum=$(sha256sum < "$salvex_dir/$(basename "$path")" | cut -d' ' -f1)
echo "icat   sha256 $icat_sum"
echo "salvex sha256 $salvex_sum"
status=0
[ "$icat_sum" = "$salvex_sum" ] || { echo "MISMATCH: salvex and icat wrote different bytes"; status=1; }
# The builder notes the file's hash as written.
if [ -f "$image.sha256" ]; then
    want=$(awk -v p="$path" '$2 == p { print $1 }' "$image.sha256")
    if [ -n "$want" ] && [ "$want" != "$salvex_sum" ]; then
        echo "MISMATCH: salvex wrote other bytes than the builder ($want)"
        status=1
    fi
fi
[ "$status" -ne 0 ] || echo "same bytes"
exit "$status"
