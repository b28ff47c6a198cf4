#!/usr/bin/env python3
"""Builds Salvex's fixture disk images with the real tools and writes them, gzipped, with
their manifests, fls listings and README sections, to tests/data (or --out).

Usage: sudo tools/build_images.py [--out DIR] [--list] [NAME...]   (default: every image)
Benchmark images (not committed; written sparse, copy with cp --sparse=always):
       sudo tools/build_images.py bench-volume OUT.img [FILES [FOLDERS]]   (100000, 1000)
       sudo tools/build_images.py bench-fragmented OUT.img [MIB [HOLE_KIB]]   (512, 1024)
       sudo tools/build_images.py bench-many-files OUT.img [FILES [FOLDERS]]   (1500, 60)
Needs root, loop devices and FUSE; Debian packages parted fdisk gdisk util-linux ntfs-3g
dosfstools mtools sleuthkit.
Copies of an image in container formats and split segments (no root; ewf-tools, qemu-utils):
       tools/build_images.py convert SOURCE.img OUT_DIR [FORMAT...]   (default every format)"""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from fixtures import bench, convert, images  # noqa: E402,F401  (registers the builders)
from fixtures.registry import BUILDERS, Context, all_names  # noqa: E402
from fixtures.system import BuildError, Session, check_environment  # noqa: E402


def main_bench(argv):
    """bench-volume / bench-fragmented / bench-many-files OUT.img [N [M]]."""
    command, rest = argv[0], argv[1:]
    if not 1 <= len(rest) <= 3 or not all(a.isdigit() for a in rest[1:]):
        print(__doc__, file=sys.stderr)
        return 2
    numbers = [int(a) for a in rest[1:]]
    out = Path(rest[0]).resolve()
    try:
        check_environment()
        with Session() as session:
            build = {"bench-volume": bench.bench_volume, "bench-fragmented": bench.bench_fragmented,
                     "bench-many-files": bench.bench_many_files}[command]
            build(session, out, *numbers)
    except BuildError as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    return 0


def main_convert(argv):
    """convert SOURCE.img OUT_DIR [FORMAT...]."""
    try:
        convert.main(argv)
    except BuildError as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    return 0


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("bench-volume", "bench-fragmented", "bench-many-files"):
        return main_bench(sys.argv[1:])
    if len(sys.argv) > 1 and sys.argv[1] == "convert":
        return main_convert(sys.argv[2:])
    default_out = Path(__file__).resolve().parent.parent / "tests" / "data"
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", type=Path, default=default_out, help="output folder")
    ap.add_argument("--list", action="store_true", help="name every image and stop")
    ap.add_argument("names", nargs="*", metavar="NAME", help="images to build (default all)")
    args = ap.parse_args()
    if args.list:
        print("\n".join(all_names()))
        return 0
    unknown = [n for n in args.names if n not in all_names()]
    if unknown:
        ap.error("unknown image(s): " + ", ".join(unknown))
    wanted = set(args.names or all_names())
    args.out.mkdir(parents=True, exist_ok=True)
    try:
        check_environment()
        with Session() as session:
            ctx = Context(session, args.out.resolve())
            for names, builder in BUILDERS:
                subset = [n for n in names if n in wanted]
                if subset:
                    builder(ctx, subset)
    except BuildError as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
