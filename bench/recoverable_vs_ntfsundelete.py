#!/usr/bin/env python3
"""How well "recoverable 100" names the deleted files that come back whole, for salvex-cli and
for ntfsundelete on the same image.

    bench/recoverable_vs_ntfsundelete.py BUILD_DIR [IMAGE [MANIFEST]]

IMAGE defaults to tests/data/ntfs_reused_space.img.gz (unpacked to a temporary file), MANIFEST to
the manifest beside it. Every deleted file of the manifest that salvex-cli lists is recovered
with salvex-cli and compared with the SHA-256 the manifest records: those that match are the
files that can come back whole. Then precision (of the files called 100, the share that come
back whole) and recall (of the files that come back whole, the share called 100) are printed
for salvex-cli's `recoverable` column and for the percentage of `ntfsundelete --scan`, which
reads the image's first partition through a read-only loop device (needs root; skipped when
ntfsundelete or root is missing). Files are matched to ntfsundelete's lines by MFT record."""

import csv
import gzip
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent.parent


def read_manifest(path):
    with open(path, newline="") as f:
        return [row for row in csv.DictReader(f, delimiter="\t")]


def sha256_of(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def name_of(path):
    return path.rsplit("/", 1)[-1]


def salvex_list(cli, image):
    """name -> (path, recoverable: int or None) of every deleted file salvex-cli lists. Files
    are known by name (unique in the fixture): a deleted folder whose record was reused leaves
    its files under a made-up folder."""
    out = subprocess.run([cli, "list", image, "--partition", "1", "--deleted", "--quiet"],
                         check=True, capture_output=True, text=True).stdout
    rows = csv.DictReader(out.splitlines(), delimiter="\t")
    return {name_of(r["path"]): (r["path"], int(r["recoverable"]) if r["recoverable"] else None)
            for r in rows if r["kind"] == "file"}


def whole_files(cli, image, manifest, listed, target):
    """Names of the deleted files of the manifest that salvex-cli recovers as written."""
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    # Files that come back only in part make the exit status 1: they are what is measured.
    subprocess.run([cli, "recover", image, "--partition", "1", "--to", target, "--deleted",
                    "only", "--yes", "--quiet"], capture_output=True)
    whole = set()
    for e in manifest:
        name = name_of(e["path"])
        if name not in listed or not e["sha256"] or e["sha256"] == "-":
            continue
        file = Path(target) / listed[name][0].lstrip("/")
        if file.is_file() and file.stat().st_size == int(e["size"]) and \
                sha256_of(file) == e["sha256"]:
            whole.add(name)
    return whole


def partition_offset(image):
    out = subprocess.run(["sfdisk", "-d", image], check=True, capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        if "start=" in line:
            return int(line.split("start=")[1].split(",")[0].strip()) * 512
    raise SystemExit("no partition in " + image)


def ntfsundelete_percent(image):
    """record -> percentage of every file `ntfsundelete --scan` lists, or None without it."""
    if shutil.which("ntfsundelete") is None or os.geteuid() != 0:
        return None
    loop = subprocess.run(["losetup", "--find", "--show", "--read-only", "--offset",
                           str(partition_offset(image)), image], check=True,
                          capture_output=True, text=True).stdout.strip()
    try:
        out = subprocess.run(["ntfsundelete", loop, "--scan", "--force"], capture_output=True,
                             text=True).stdout
    finally:
        subprocess.run(["losetup", "-d", loop], check=True)
    percent = {}
    for line in out.splitlines():
        # Inode  Flags  %age  Date  Time  Size  Filename
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit() and fields[2].endswith("%"):
            percent[int(fields[0])] = int(fields[2].rstrip("%"))
    return percent


def report(name, judged, whole):
    """judged: path -> value (files without one are left out)."""
    called = {p for p, v in judged.items() if v == 100}
    right = called & whole
    considered = whole & set(judged)
    precision = len(right) / len(called) if called else 0.0
    recall = len(right) / len(considered) if considered else 0.0
    print(f"{name}: {len(judged)} deleted files judged, {len(considered)} of them come back "
          f"whole, {len(called)} called 100 %, {len(right)} rightly: precision "
          f"{precision:.1%}, recall {recall:.1%}")


def main():
    if not 2 <= len(sys.argv) <= 4:
        print(__doc__, file=sys.stderr)
        return 2
    cli = str(Path(sys.argv[1]) / "cli" / "salvex-cli")
    packed = Path(sys.argv[2]) if len(sys.argv) > 2 else \
        HERE / "tests" / "data" / "ntfs_reused_space.img.gz"
    manifest_path = Path(sys.argv[3]) if len(sys.argv) > 3 else \
        Path(str(packed).removesuffix(".gz").removesuffix(".img") + ".manifest.tsv")
    with tempfile.TemporaryDirectory() as tmp:
        image = str(packed)
        if image.endswith(".gz"):
            image = os.path.join(tmp, "image.img")
            with gzip.open(packed, "rb") as src, open(image, "wb") as dst:
                shutil.copyfileobj(src, dst)
        manifest = [e for e in read_manifest(manifest_path)
                    if e["kind"] == "file" and e["state"] == "deleted" and int(e["size"]) > 0]
        listed = salvex_list(cli, image)
        whole = whole_files(cli, image, manifest, listed, os.path.join(tmp, "out"))
        in_manifest = {name_of(e["path"]) for e in manifest}
        report("salvex-cli", {n: v for n, (_, v) in listed.items()
                              if n in in_manifest and v is not None}, whole)
        percent = ntfsundelete_percent(image)
        if percent is None:
            print("ntfsundelete: skipped (not installed, or not root)")
            return 0
        # A named stream shares its file's record; ntfsundelete judges the unnamed data only.
        by_record = {n: percent.get(int(e["record"])) for e in manifest
                     if (n := name_of(e["path"])) in listed and ":" not in n
                     and e["record"] not in ("", "-")}
        report("ntfsundelete", {n: v for n, v in by_record.items() if v is not None}, whole)
    return 0


if __name__ == "__main__":
    sys.exit(main())
