#!/usr/bin/env bash
# The Standard Scan of a volume of 100,000 MFT records in the wizard (offscreen, until the browse
# page is filled) beside `salvex-cli list` of the same partition, both from the page cache.
#   bench/wizard_vs_cli.sh BUILD_DIR [IMAGE]
# Without IMAGE, the volume is built once with `tools/build_images.py bench-volume` (needs root
# and FUSE) and kept in BUILD_DIR/bench-volume.img.
set -euo pipefail
build=${1:?usage: wizard_vs_cli.sh BUILD_DIR [IMAGE]}
image=${2:-$build/bench-volume.img}
here=$(cd "$(dirname "$0")/.." && pwd)

if [ ! -f "$image" ]; then
    echo "Building $image (a few minutes, once)..."
    "$here/tools/build_images.py" bench-volume "$image"
fi
cat "$image" > /dev/null # into the page cache

start=$(date +%s.%N)
"$build/cli/salvex-cli" list "$image" --partition 1 --quiet > /dev/null
cli=$(echo "$(date +%s.%N) - $start" | bc)
printf 'salvex-cli list   %.2f s\n' "$cli"

out=$(QT_QPA_PLATFORM=offscreen "$build/bench/wizard_scan_bench" "$image")
echo "$out"
wizard=$(echo "$out" | awk '/wizard time/ {print $3}')
printf 'wizard / cli      %.2f\n' "$(echo "$wizard / $cli" | bc -l)"
