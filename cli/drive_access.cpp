#include "cli/drive_access.h"

#include "cli/message_line.h"
#include "cli/terminal_progress.h"
#include "disk/drive_table.h"
#include "disk/open_image.h"
#include "partition/partition_table.h"
#include "partition/quick_search.h"
#include "partition/sector_size.h"

namespace salvex::cli {

std::optional<PartitionedDrive> open_drive(const std::string& path, const char* command,
                                           std::ostream& err) {
    auto device = open_image_or_device(path);
    if (!device) {
        say(err, command, device.error());
        return std::nullopt;
    }
    PartitionedDrive drive{std::make_unique<SectorReader>(AccessMode::Device), {}};
    drive.reader->open_device(std::move(device).value());
    drive.sectorSize = drive_sector_size(*drive.reader);
    list_partitions(*drive.reader, drive.partitions, drive.sectorSize);
    return drive;
}

uint32_t drive_sector_size_of(const DriveInfo& drive) {
    if (is_logical_sector_size(drive.sectorSize))
        return drive.sectorSize;
    auto device = open_image_or_device(drive.path);
    if (!device)
        return static_cast<uint32_t>(kSectorSize);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    return drive_sector_size(reader);
}

std::optional<PartitionedDrive> open_partitioned_drive(const std::string& path, const char* command,
                                                       std::ostream& err) {
    auto drive = open_drive(path, command, err);
    if (drive && drive->partitions.empty()) {
        // No table lists anything: look for the boot sectors of lost partitions instead.
        say(err, command, kNoPartitionsFoundMessage);
        if (!search_lost_partitions(*drive, command, err))
            return std::nullopt;
    }
    return drive;
}

bool search_lost_partitions(PartitionedDrive& drive, const char* command, std::ostream& err) {
    // The search reads the whole drive: its progress shows on a terminal.
    TerminalProgress progress(err, command, TerminalProgress::wants_bar(false));
    StopFlag stop{0};
    quick_search_partitions(*drive.reader,
                            drive_with_default_geometry(drive.reader->total_sectors()),
                            QuickSearchMode::Standard, drive.partitions, progress, stop);
    progress.finish();
    // When nothing was found, the search has said so through the progress sink.
    return !drive.partitions.empty();
}

void print_partitions(const PartitionedDrive& drive, std::ostream& out) {
    const uint64_t unit = drive.sectorSize / kSectorSize;
    const PartitionList& list = drive.partitions;
    out << "number\ttype\tstart\tsize\n";
    for (size_t i = 0; i < list.size(); ++i) {
        const PartitionInfo& p = list.entries[i];
        out << i + 1 << '\t' << fs_type_name(p.type) << '\t' << p.start / unit << '\t'
            << p.size / unit << '\n';
    }
}

} // namespace salvex::cli
