#!/bin/sh
# Takes a picture of every page and dialog of the wizard on the demo disk image, under a virtual
# X server, into docs/screenshots/. Run from the project root after a build (make test or make run).
set -eu
BUILD=${BUILD:-build}
TOUR="$BUILD/app/salvex-screenshot-tour"
IMAGE="$BUILD/data/demo.img"
OUT=docs/screenshots

if ! command -v xvfb-run >/dev/null 2>&1; then
    SUDO=$([ "$(id -u)" = 0 ] || echo sudo)
    $SUDO apt-get install -y xvfb xauth
fi
cmake --build "$BUILD" --target salvex-screenshot-tour test_images
mkdir -p "$OUT"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$TOUR" "$IMAGE" "$OUT"
