#!/usr/bin/env bash
# The Standard Scan of a volume of 100,000 MFT records beside `fls -r -p` of The Sleuth Kit,
# both reading the image from the page cache.
#   bench/scan_vs_fls.sh BUILD_DIR [IMAGE]
# Without IMAGE, the volume is built once with `tools/build_images.py bench-volume` (needs root
# and FUSE)
# and kept in BUILD_DIR/bench-volume.img.
set -euo pipefail
build=${1:?usage: scan_vs_fls.sh BUILD_DIR [IMAGE]}
image=${2:-$build/bench-volume.img}
here=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$image" ]; then
    echo "Building $image (a few minutes, once)..."
    "$here/tools/build_images.py" bench-volume "$image"
fi
command -v fls >/dev/null || { echo "fls not found: apt-get install sleuthkit" >&2; exit 1; }

start=$(sfdisk -d "$image" 2>/dev/null | awk -F'[=,]' '/start=/{gsub(/ /,"",$2); print $2; exit}')
cat "$image" > /dev/null  # into the page cache

echo "== fls -r -p -o $start"
/usr/bin/time -f "fls time         %e s (max RSS %M KiB)" fls -r -p -o "$start" "$image" > /dev/null
echo "== salvex Standard Scan"
/usr/bin/time -f "process time     %e s (max RSS %M KiB)" "$build/bench/scan_bench" "$image" 1
