// libFuzzer target: the snapshot decoder over any bytes.
//
// Each input is decoded three times: as it stands (the tag and version checks), and behind a
// valid tag and each version ("1.0" with 32-bit sectors, "2.0" with 64-bit ones) with the
// file-system type forced to NTFS, so that the fuzzer works on the header values and the item
// records of both layouts. A decoded snapshot must encode again (when its names still fit) to
// bytes that decode to the same items, and is checked against the drive (the input again) as a
// load checks it: boot sectors and records read from any bytes.
#include "fuzz/input_device.h"
#include "snapshot/drive_check.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"

#include <cstdint>
#include <cstring>

namespace {

using namespace salvex;

bool same_items(const NtfsItems& a, const NtfsItems& b) {
    if (a.folders.size() != b.folders.size() || a.files.size() != b.files.size())
        return false;
    for (size_t i = 0; i < a.folders.size(); ++i) {
        const FolderNode& x = a.folders[i];
        const FolderNode& y = b.folders[i];
        if (x.name != y.name || x.recordNumber != y.recordNumber || x.parent != y.parent ||
            x.creationTime != y.creationTime || x.changeTime != y.changeTime ||
            x.deleted != y.deleted)
            return false;
    }
    for (size_t i = 0; i < a.files.size(); ++i) {
        const FileNode& x = a.files[i];
        const FileNode& y = b.files[i];
        if (x.name != y.name || x.recordNumber != y.recordNumber || x.parent != y.parent ||
            x.creationTime != y.creationTime || x.changeTime != y.changeTime ||
            x.deleted != y.deleted || x.size != y.size || x.recordSector != y.recordSector)
            return false;
    }
    return true;
}

void decode(ByteView bytes, const SectorReader& reader) {
    const auto loaded = parse_snapshot(bytes, reader);
    if (!loaded)
        return;
    const DriveCheck check = check_snapshot_drive(reader, loaded->scan, loaded->selection);
    if ((check.match == DriveMatch::Same) != check.message.empty() ||
        check.mismatched > check.sampled || check.sampled > kSampledFiles + kSampledFolders)
        __builtin_trap();
    const auto again = encode_snapshot(loaded->selection, loaded->scan.volume, loaded->scan.items);
    if (!again)
        return; // a name read as Latin-1 may have grown beyond what a snapshot holds
    const auto reloaded = parse_snapshot(*again, reader);
    if (!reloaded || !(reloaded->selection == loaded->selection) ||
        !same_items(reloaded->scan.items, loaded->scan.items))
        __builtin_trap();
}

// The input behind the tag and `version`, with the file-system type at `fsTypeAt` made NTFS.
std::vector<uint8_t> framed(std::string_view version, size_t fsTypeAt, const uint8_t* data,
                            size_t size) {
    std::vector<uint8_t> bytes(snapshot_header::kTag.begin(), snapshot_header::kTag.end());
    bytes.insert(bytes.end(), version.begin(), version.end());
    bytes.insert(bytes.end(), data, data + size);
    if (bytes.size() >= fsTypeAt + 2) {
        bytes[fsTypeAt] = 300 & 0xFF;
        bytes[fsTypeAt + 1] = 300 >> 8;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is also the drive, so the MFT map is read from sectors the header points into.
    const std::vector<uint8_t> input(data, data + size);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::make_unique<fuzz::InputDevice>(input));
    decode(input, reader);

    decode(framed(snapshot_header::kVersion, snapshot_header::kFsType, data, size), reader);
    decode(framed(snapshot_header_v2::kVersion, snapshot_header_v2::kFsType, data, size), reader);
    return 0;
}
