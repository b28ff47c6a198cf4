// Time and memory of the Standard Scan of one partition.
//
//   scan_bench IMAGE [PARTITION]
//
// Prints the number of MFT records, folders and files, the scan's wall time, and the memory the
// item lists and folder tree hold per item beyond the names themselves.
#include "bench/bench_image.h"
#include "disk/block_device.h"
#include "ntfs/standard_scan.h"
#include "partition/partition_table.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace salvex;

size_t heap_of(const std::string& s) {
    return s.capacity() > 15 ? s.capacity() + 1 : 0;
}

// Bytes held by the lists and the tree, without the names' own characters.
size_t structure_bytes(const NtfsScan& scan) {
    size_t bytes = scan.items.folders.capacity() * sizeof(FolderNode) +
                   scan.items.files.capacity() * sizeof(FileNode);
    // The folder index: one hash node (key, value, link, cached hash) and one bucket per folder.
    bytes += scan.items.folders.size() * (sizeof(void*) * 3 + sizeof(uint32_t) + sizeof(size_t));
    bytes += scan.tree.size() * sizeof(FolderTreeNode);
    for (size_t id = 1; id <= scan.tree.size(); ++id)
        bytes +=
            scan.tree.node(static_cast<TreeItemId>(id)).children.capacity() * sizeof(TreeItemId);
    return bytes;
}

size_t name_bytes(const NtfsScan& scan) {
    size_t bytes = 0;
    for (const auto& f : scan.items.folders)
        bytes += heap_of(f.name);
    for (const auto& f : scan.items.files)
        bytes += heap_of(f.name);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scan_bench IMAGE [PARTITION]\n");
        return 2;
    }
    const size_t number = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1;
    const auto image = bench::open_image(argv[1]);
    if (!image)
        return 1;
    SectorReader& reader = *image;
    PartitionList partitions;
    list_partitions(reader, partitions);
    if (number == 0 || number > partitions.size()) {
        std::fprintf(stderr, "no partition %zu\n", number);
        return 1;
    }
    const PartitionInfo& p = partitions.entries[number - 1];

    NtfsScan scan;
    SilentProgress progress;
    StopFlag stop{0};
    const auto start = std::chrono::steady_clock::now();
    if (standard_scan(reader, p.start, p.end(), scan, progress, stop) != ScanOutcome::Completed) {
        std::fprintf(stderr, "the partition could not be scanned\n");
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const size_t items = scan.items.folders.size() + scan.items.files.size();
    std::printf("partition        %zu at sector %llu\n", number,
                static_cast<unsigned long long>(p.start));
    std::printf("mft records      %llu\n",
                static_cast<unsigned long long>(scan.mftMap.record_count()));
    std::printf("folders, files   %u, %u\n", scan.items.folder_count(), scan.items.file_count());
    std::printf("scan time        %.3f s\n", seconds);
    std::printf("memory per item  %.0f bytes beyond names (names hold %.0f more on the heap)\n",
                items ? static_cast<double>(structure_bytes(scan)) / static_cast<double>(items) : 0,
                items ? static_cast<double>(name_bytes(scan)) / static_cast<double>(items) : 0);
    return 0;
}
