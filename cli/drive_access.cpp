#include "cli/drive_access.h"

#include "cli/message_line.h"
#include "cli/terminal_progress.h"
#include "partition/partition_table.h"

namespace salvex::cli {

bool open_drive(Session& session, const std::string& path, const char* command, std::ostream& err) {
    if (const auto opened = session.open_drive(path); !opened) {
        say(err, command, opened.error());
        return false;
    }
    session.walk_partitions();
    return true;
}

bool open_partitioned_drive(Session& session, const std::string& path, const char* command,
                            std::ostream& err) {
    if (!open_drive(session, path, command, err))
        return false;
    if (!session.partitions.empty())
        return true;
    // No table lists anything: look for the boot sectors of lost partitions instead.
    say(err, command, kNoPartitionsFoundMessage);
    return search_lost_partitions(session, command, err);
}

bool search_lost_partitions(Session& session, const char* command, std::ostream& err) {
    // The search reads the whole drive: its progress shows on a terminal.
    TerminalProgress progress(err, command, TerminalProgress::wants_bar(false));
    const bool found = session.search_partitions(QuickSearchMode::Standard, progress);
    progress.finish();
    // When nothing was found, the search has said so through the progress sink.
    return found;
}

void print_partitions(const Session& session, std::ostream& out) {
    const uint64_t unit = session.drive_sector_unit();
    const PartitionList& list = session.partitions;
    out << "number\ttype\tstart\tsize\n";
    for (size_t i = 0; i < list.size(); ++i) {
        const PartitionInfo& p = list.entries[i];
        out << i + 1 << '\t' << fs_type_name(p.type) << '\t' << p.start / unit << '\t'
            << p.size / unit << '\n';
    }
}

} // namespace salvex::cli
