"""The committed damaged images hold exactly the damage their README sections describe."""

import gzip
import struct
import unittest
from pathlib import Path

from fixtures import ntfs

DATA = Path(__file__).resolve().parents[2] / "tests" / "data"
START = 2048  # every damaged image's volume starts here


def image(name, length):
    """The first length bytes of a committed image."""
    with gzip.open(DATA / f"{name}.img.gz") as f:
        return f.read(length)


def boot(data, lba=START):
    b = data[lba * 512:lba * 512 + 512]
    cluster = struct.unpack_from("<H", b, 0x0B)[0] * b[0x0D]
    return cluster, struct.unpack_from("<Q", b, 0x30)[0], struct.unpack_from("<Q", b, 0x38)[0]


def record(data, cluster_bytes, first_cluster, number):
    at = START * 512 + first_cluster * cluster_bytes + number * 1024
    return bytearray(data[at:at + 1024])


class DamagedImages(unittest.TestCase):
    SIZE = 32 << 20

    def records0(self, name):
        data = image(name, self.SIZE)
        cl, mft, mirror = boot(data)
        return record(data, cl, mft, 0), record(data, cl, mirror, 0), data, cl, mft

    def test_record0_zeroed_with_and_without_its_mirror(self):
        rec, mirror, *_ = self.records0("damaged_mft_record0")
        self.assertFalse(any(rec))
        self.assertEqual(mirror[:4], b"FILE")
        rec, mirror, *_ = self.records0("damaged_mft_and_mirror")
        self.assertFalse(any(rec) or any(mirror))

    def data_runs(self, rec):
        ntfs.undo_fixup(rec)  # fails where the fix-up was not redone
        return ntfs.find_attribute(rec, ntfs.DATA).runs()

    def test_mft_run_lists_are_rewritten_in_valid_records(self):
        rec, mirror, *_ = self.records0("damaged_mft_runs")
        runs, before = self.data_runs(rec), self.data_runs(mirror)
        self.assertEqual(runs[:-1], before[:-1])
        self.assertEqual(runs[-1], (before[-1][0], 1 << 40))
        rec, mirror, *_ = self.records0("damaged_mft_repeat")
        runs, before = self.data_runs(rec), self.data_runs(mirror)
        self.assertEqual(runs, before[:1] + before)

    def test_root_record_zeroed(self):
        _, _, data, cl, mft = self.records0("damaged_root")
        self.assertFalse(any(record(data, cl, mft, 5)))
        self.assertEqual(record(data, cl, mft, 4)[:4], b"FILE")

    def test_gpt_volume_keeps_only_its_backup_boot_sector(self):
        data = image("gpt_no_boot", 24 << 20)
        self.assertFalse(any(data[START * 512:START * 512 + 512]))
        # The partition is 20 MiB from sector 2048: its last sector holds the backup.
        backup = data[(START + (20 << 11) - 1) * 512:][:512]
        self.assertEqual(backup[3:11], b"NTFS    ")
        self.assertEqual(struct.unpack_from("<Q", backup, 0x28)[0], (20 << 11) - 1)

    def test_lost_volume_has_no_table_and_no_boot_sectors(self):
        data = image("lost_extension_records", 24 << 20)
        self.assertFalse(any(data[:512]))
        self.assertFalse(any(data[START * 512:START * 512 + 512]))
        last = (24 << 11) - 2048 - 1  # the partition ends 1 MiB before the disk's end
        self.assertFalse(any(data[last * 512:last * 512 + 512]))


if __name__ == "__main__":
    unittest.main()
