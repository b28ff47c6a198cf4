#!/usr/bin/env python3
"""Writes the files the content search is tested on, each made by the encoder people's files
come from: ImageMagick for the pictures, Python's zipfile for a ZIP holding a JPEG (a file inside
a file), sqlite3 for a database. Deterministic, no root.

Usage: tools/carving/make_samples.py OUT_DIR   (tests/data/carving holds the committed set)"""

import gzip
import math
import sqlite3
import struct
import subprocess
import sys
import wave
import zipfile
from pathlib import Path


# Debian's ImageMagick; a stand-in earlier on PATH may shadow it.
CONVERT = "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


def magick(out, *args):
    subprocess.run([CONVERT, *args, str(out)], check=True)


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    out = Path(argv[0])
    out.mkdir(parents=True, exist_ok=True)
    # Pictures with detail enough for several kilobytes; -strip leaves out dates, so that a
    # rebuild gives the same bytes.
    magick(out / "photo.jpg", "-size", "320x240", "-seed", "7", "plasma:fractal", "-strip",
           "-quality", "85")
    magick(out / "scan.png", "-size", "200x150", "-seed", "8", "plasma:fractal", "-strip",
           "-depth", "8")
    magick(out / "icon.gif", "-size", "96x64", "-seed", "9", "plasma:fractal", "-strip",
           "-colors", "64")
    subprocess.run([CONVERT, "-size", "90x70", "-seed", "10", "plasma:fractal", "-strip",
                    "BMP3:" + str(out / "drawing.bmp")], check=True)
    archive = out / "album.zip"
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        # The stored photo begins 512 bytes into the archive, at a sector's start as a file on
        # disk would: an extra field of padding fills the local header up to there.
        name = "album/photo.jpg"
        info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
        pad = 512 - 30 - len(name) - 4
        info.extra = (0xCAFE).to_bytes(2, "little") + pad.to_bytes(2, "little") + bytes(pad)
        z.writestr(info, (out / "photo.jpg").read_bytes(), zipfile.ZIP_STORED)
        info = zipfile.ZipInfo("album/notes.txt", date_time=(2024, 5, 1, 12, 0, 0))
        z.writestr(info, "Pictures of the trip.\n" * 200)
    # A log compressed by gzip (no name, no time: the same bytes on every build).
    log = "".join(f"2024-05-01 12:{i // 60 % 60:02d}:{i % 60:02d} request {i} ok\n"
                  for i in range(3000)).encode()
    (out / "service.log.gz").write_bytes(gzip.compress(log, mtime=0))
    # A second of a 440 Hz tone, 16-bit mono, by Python's wave module.
    with wave.open(str(out / "tone.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 440 * i / 8000)))
                               for i in range(8000)))
    db = out / "contacts.sqlite"
    db.unlink(missing_ok=True)
    con = sqlite3.connect(db)
    con.execute("create table people (name text, phone text)")
    con.executemany("insert into people values (?, ?)",
                    [(f"person {i}", f"+49 30 {1000 + i}") for i in range(300)])
    con.commit()
    con.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
