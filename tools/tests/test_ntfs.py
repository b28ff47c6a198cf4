"""The on-disk helpers the damage is made with: run lists, the update-sequence fix-up and
rewriting an attribute's run list inside a record."""

import struct
import unittest

from fixtures import ntfs
from fixtures.system import BuildError


class RunLists(unittest.TestCase):
    def test_runs_come_back_as_encoded(self):
        cases = [
            [(4, 39), (661, 4), (667, 4)],
            [(1000, 8), (12, 3), (70000, 1)],                  # a backward step
            [(4, 39), (4, 39), (661, 4)],                      # one extent named twice
            [(4391, 1), (None, 1 << 50), (4393, 1)],           # a sparse run
            [(742, 4), (748, 1 << 40)],                        # a run far past any volume
        ]
        for runs in cases:
            pairs = ntfs.encode_runs(runs)
            self.assertEqual(pairs[-1], 0)
            self.assertEqual(ntfs.decode_runs(pairs), (runs, len(pairs)), runs)

    def test_a_repeated_extent_is_not_written_as_sparse(self):
        # No offset bytes at all would mean a sparse run; a zero step needs one zero byte.
        pairs = ntfs.encode_runs([(4, 39), (4, 39)])
        self.assertEqual(pairs.hex(" "), "11 27 04 11 27 00 00")

    def test_decoding_stops_at_the_terminator(self):
        runs, used = ntfs.decode_runs(bytes.fromhex("11 27 04 00 ff ff"))
        self.assertEqual((runs, used), ([(4, 39)], 4))


def make_record(runs, used_after=None):
    """A 1024-byte FILE record (fix-up undone) with a resident attribute, a non-resident
    $DATA with the given runs and a resident attribute after it."""
    rec = bytearray(1024)
    rec[0:4] = b"FILE"
    struct.pack_into("<HH", rec, ntfs.REC_FIXUP_OFFSET, 0x30, 3)
    rec[0x30:0x32] = b"\x07\x00"
    struct.pack_into("<H", rec, ntfs.REC_FIRST_ATTR, 0x38)
    struct.pack_into("<I", rec, ntfs.REC_ALLOCATED, 1024)
    at = 0x38
    # $STANDARD_INFORMATION-like resident attribute of 0x60 bytes.
    struct.pack_into("<IIBBHHHIH", rec, at, 0x10, 0x60, 0, 0, 0, 0, 0, 0x48, 0x18)
    at += 0x60
    pairs = ntfs.encode_runs(runs)
    length = (0x40 + len(pairs) + 7) & ~7
    struct.pack_into("<IIBBH", rec, at, 0x80, length, 1, 0, 0)
    struct.pack_into("<H", rec, at + ntfs.ATTR_RUNS_OFFSET, 0x40)
    rec[at + 0x40:at + 0x40 + len(pairs)] = pairs
    at += length
    struct.pack_into("<IIBBHHHIH", rec, at, 0xB0, 0x20, 0, 0, 0, 0, 0, 8, 0x18)
    rec[at + 0x18:at + 0x20] = b"BITMAP!!"
    at += 0x20
    struct.pack_into("<II", rec, at, ntfs.END_MARKER, 0)
    struct.pack_into("<I", rec, ntfs.REC_USED, at + 8)
    return rec


class Records(unittest.TestCase):
    def test_fixup_round_trip_and_torn_record(self):
        rec = make_record([(4, 39)])
        rec[510:512] = b"AB"
        rec[1022:1024] = b"CD"
        disk = bytearray(rec)
        ntfs.redo_fixup(disk)
        self.assertEqual(disk[510:512], b"\x07\x00")
        self.assertEqual(disk[1022:1024], b"\x07\x00")
        back = bytearray(disk)
        ntfs.undo_fixup(back)
        expected = bytearray(rec)
        expected[0x32:0x36] = b"ABCD"  # the array keeps what the sector ends held
        self.assertEqual(back, expected)
        disk[1022:1024] = b"\x08\x00"  # the second sector was written by another update
        with self.assertRaises(BuildError):
            ntfs.undo_fixup(bytearray(disk))

    def test_longer_run_list_moves_the_attributes_after_it(self):
        rec = make_record([(4, 39), (661, 4)])
        used = ntfs.u32(rec, ntfs.REC_USED)
        data = ntfs.find_attribute(rec, ntfs.DATA)
        old_length = data.length
        new = [(4, 39), (None, 1 << 50), (661, 4), (700, 1 << 40)]
        ntfs.set_runs(rec, data, new)
        types = [a.type for a in ntfs.attributes(rec)]
        self.assertEqual(types, [0x10, 0x80, 0xB0])
        self.assertEqual(ntfs.find_attribute(rec, ntfs.DATA).runs(), new)
        bitmap = ntfs.find_attribute(rec, ntfs.BITMAP)
        self.assertEqual(bytes(rec[bitmap.value_offset():bitmap.value_offset() + 8]), b"BITMAP!!")
        grown = ntfs.find_attribute(rec, ntfs.DATA).length - old_length
        self.assertGreater(grown, 0)
        self.assertEqual(ntfs.u32(rec, ntfs.REC_USED), used + grown)
        self.assertEqual(ntfs.u32(rec, used + grown - 8), ntfs.END_MARKER)

    def test_shorter_run_list_leaves_no_stale_bytes(self):
        rec = make_record([(4, 39), (661, 4), (667, 4), (673, 4), (688, 4), (694, 4)])
        ntfs.set_runs(rec, ntfs.find_attribute(rec, ntfs.DATA), [(4, 39)])
        used = ntfs.u32(rec, ntfs.REC_USED)
        self.assertEqual(ntfs.u32(rec, used - 8), ntfs.END_MARKER)
        self.assertFalse(any(rec[used:]))
        self.assertEqual([a.type for a in ntfs.attributes(rec)], [0x10, 0x80, 0xB0])

    def test_a_run_list_too_long_for_the_record_is_refused(self):
        rec = make_record([(4, 39)])
        runs = [(100 + 1000 * i, 1) for i in range(300)]
        with self.assertRaises(BuildError):
            ntfs.set_runs(rec, ntfs.find_attribute(rec, ntfs.DATA), runs)


if __name__ == "__main__":
    unittest.main()
