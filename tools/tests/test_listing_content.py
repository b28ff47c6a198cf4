"""fls lines as the listings keep them, and the content generators the images were built
with."""

import unittest
from pathlib import Path

from fixtures import content, listing

DATA = Path(__file__).resolve().parents[2] / "tests" / "data"


class FlsLines(unittest.TestCase):
    def parse(self, line):
        m = listing._LINE.match(line)
        return m and m.groups()

    def test_live_deleted_realloc_stream_and_orphan_entries(self):
        self.assertEqual(self.parse("d/d 76-144-2:\tDocuments"),
                         ("d", "d", None, "76", "Documents"))
        self.assertEqual(self.parse("-/r * 97-128-4:\tStreams/old.bin:Zone.Identifier")[2:],
                         ("* ", "97", "Streams/old.bin:Zone.Identifier"))
        self.assertEqual(self.parse("r/r * 45-128-1(realloc):\tDocuments/a b.txt")[3:],
                         ("45", "Documents/a b.txt"))
        self.assertEqual(self.parse("V/V 92:\t$OrphanFiles")[3:], ("92", "$OrphanFiles"))
        self.assertEqual(self.parse("-/r * 16:\t$OrphanFiles/OrphanFile-16")[2:],
                         ("* ", "16", "$OrphanFiles/OrphanFile-16"))


def manifest(name):
    lines = (DATA / f"{name}.manifest.tsv").read_text(encoding="utf-8").splitlines()
    head = lines[0].split("\t")
    return {f["path"]: f for f in (dict(zip(head, l.split("\t"))) for l in lines[1:])}


class Generators(unittest.TestCase):
    """The images hold what the generators give: a change to one would silently change every
    rebuilt image."""

    def check(self, name, path, data):
        import hashlib
        entry = manifest(name)[path]
        self.assertEqual(int(entry["size"]), len(data), path)
        self.assertEqual(entry["sha256"], hashlib.sha256(data).hexdigest(), path)

    def test_generators_match_the_manifests(self):
        self.check("ntfs_tree", "/readme.txt", content.gen_text(1, 120))
        self.check("ntfs_tree", "/Logs/big.log", content.gen_log(10, 300000))
        self.check("ntfs_tree", "/Pictures/photo.jpg", content.gen_jpeg(11, 30000))
        self.check("ntfs_tree", "/Downloads/installer.bin", content.gen_bytes(13, 5000))
        self.check("ntfs_tree", "/日本語フォルダ/報告書.txt", content.japanese())
        self.check("demo", "/Documents/budget.csv", content.budget_csv())
        self.check("demo", "/Pictures/2024/family.png", content.gen_png(51, 30000))
        self.check("demo_lost", "/Taxes/2025.csv", content.taxes_csv(2025, 900))
        self.check("ntfs_contents", "/Compressed/mixed-500k.dat", content.mixed(52, 500000))
        self.check("ntfs_fragmented_mft", "/archive/chunk-1.dat",
                   content.gen_blocks("chunk-1", 0, 8))

    def test_block_names_itself_and_fills_a_cluster(self):
        b = content.block("part-7", 0)
        self.assertEqual(len(b), 4096)
        self.assertTrue(b.startswith(b"part-7 block 000000\n"))
        self.assertTrue(b.endswith(b"\n"))


if __name__ == "__main__":
    unittest.main()
