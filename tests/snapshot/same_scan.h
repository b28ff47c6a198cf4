// Field-by-field comparison of what a snapshot keeps: the volume's parameters and the items.
#pragma once

#include "ntfs/item_tree.h"
#include "partition/volume_info.h"

#include <gtest/gtest.h>
#include <tuple>

namespace salvex::test {

// Each kept field, as a tuple gtest prints whole when two differ.
inline auto kept_fields(const VolumeInfo& v) {
    return std::tie(v.fsType, v.sectorsPerFat, v.sectorsPerCluster, v.rootDirSectors,
                    v.reservedSectors, v.fsStart, v.fat1Start, v.fat2Start, v.mftStart,
                    v.mftMirrorStart, v.recordSectors, v.indexBlockSectors, v.fsEnd,
                    v.candidateNumber);
}
inline auto kept_fields(const FolderNode& f) {
    return std::tie(f.name, f.recordNumber, f.parent, f.creationTime, f.changeTime, f.deleted);
}
inline auto kept_fields(const FileNode& f) {
    return std::tie(f.name, f.stream, f.recordNumber, f.parent, f.creationTime, f.changeTime,
                    f.size, f.deleted, f.recordSector);
}

inline void expect_same_volume(const VolumeInfo& a, const VolumeInfo& b) {
    EXPECT_EQ(kept_fields(a), kept_fields(b));
}

// Every saved field of every folder and file, in list order (tree items are not saved).
inline void expect_same_items(const NtfsItems& a, const NtfsItems& b) {
    ASSERT_EQ(a.folders.size(), b.folders.size());
    for (size_t i = 0; i < a.folders.size(); ++i)
        EXPECT_EQ(kept_fields(a.folders[i]), kept_fields(b.folders[i])) << "folder " << i;
    ASSERT_EQ(a.files.size(), b.files.size());
    for (size_t i = 0; i < a.files.size(); ++i)
        EXPECT_EQ(kept_fields(a.files[i]), kept_fields(b.files[i])) << "file " << i;
}

} // namespace salvex::test
