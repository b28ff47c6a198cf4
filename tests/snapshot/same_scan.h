// Field-by-field comparison of what a snapshot keeps: the volume's parameters and the items.
#pragma once

#include "ntfs/item_tree.h"
#include "partition/volume_info.h"

#include <gtest/gtest.h>

namespace salvex::test {

inline void expect_same_volume(const VolumeInfo& a, const VolumeInfo& b) {
    EXPECT_EQ(a.fsType, b.fsType);
    EXPECT_EQ(a.sectorsPerFat, b.sectorsPerFat);
    EXPECT_EQ(a.sectorsPerCluster, b.sectorsPerCluster);
    EXPECT_EQ(a.rootDirSectors, b.rootDirSectors);
    EXPECT_EQ(a.reservedSectors, b.reservedSectors);
    EXPECT_EQ(a.fsStart, b.fsStart);
    EXPECT_EQ(a.fat1Start, b.fat1Start);
    EXPECT_EQ(a.fat2Start, b.fat2Start);
    EXPECT_EQ(a.mftStart, b.mftStart);
    EXPECT_EQ(a.mftMirrorStart, b.mftMirrorStart);
    EXPECT_EQ(a.recordSectors, b.recordSectors);
    EXPECT_EQ(a.indexBlockSectors, b.indexBlockSectors);
    EXPECT_EQ(a.fsEnd, b.fsEnd);
    EXPECT_EQ(a.candidateNumber, b.candidateNumber);
}

// Every saved field of every folder and file, in list order (tree items are not saved).
inline void expect_same_items(const NtfsItems& a, const NtfsItems& b) {
    ASSERT_EQ(a.folders.size(), b.folders.size());
    for (size_t i = 0; i < a.folders.size(); ++i) {
        const FolderNode& x = a.folders[i];
        const FolderNode& y = b.folders[i];
        SCOPED_TRACE("folder " + y.name);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.recordNumber, y.recordNumber);
        EXPECT_EQ(x.parent, y.parent);
        EXPECT_EQ(x.creationTime, y.creationTime);
        EXPECT_EQ(x.changeTime, y.changeTime);
        EXPECT_EQ(x.deleted, y.deleted);
    }
    ASSERT_EQ(a.files.size(), b.files.size());
    for (size_t i = 0; i < a.files.size(); ++i) {
        const FileNode& x = a.files[i];
        const FileNode& y = b.files[i];
        SCOPED_TRACE("file " + y.name);
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(x.stream, y.stream);
        EXPECT_EQ(x.recordNumber, y.recordNumber);
        EXPECT_EQ(x.parent, y.parent);
        EXPECT_EQ(x.creationTime, y.creationTime);
        EXPECT_EQ(x.changeTime, y.changeTime);
        EXPECT_EQ(x.size, y.size);
        EXPECT_EQ(x.deleted, y.deleted);
        EXPECT_EQ(x.recordSector, y.recordSector);
    }
}

} // namespace salvex::test
