// salvex-cli drives and partitions.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/drive_access.h"
#include "cli/message_line.h"
#include "partition/partition_table.h"

namespace salvex::cli {

namespace {

bool rejects_options(const std::vector<std::string>& args, const char* command, std::ostream& err) {
    for (const auto& a : args) {
        if (a.size() > 1 && a[0] == '-') {
            err << "salvex-cli " << command << ": unknown option '" << a << "'.\n";
            return true;
        }
    }
    return false;
}

} // namespace

int run_drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (rejects_options(args, "drives", err))
        return kUsage;
    Session session;
    session.list_drives();
    const std::vector<std::string> failures = session.add_images(args);
    for (const std::string& failure : failures)
        say(err, "drives", failure);
    const int status = failures.empty() ? kSuccess : kFailure;
    const DriveTable& table = session.drives;
    out << "index\tname\tcylinders\theads\tsectors_per_track\ttotal_sectors\tsector_size\tpath\n";
    for (size_t i = 0; i < table.size(); ++i) {
        const DriveInfo& d = table[i];
        // total_sectors counts the drive's own sectors.
        const uint32_t sectorSize = d.hasMedium ? drive_sector_size_of(d) : 512;
        out << i << '\t' << d.name << '\t' << d.cylinders << '\t' << d.heads << '\t'
            << d.sectorsPerTrack << '\t' << d.totalSectors / (sectorSize / 512) << '\t'
            << sectorSize << '\t' << d.path << '\n';
    }
    return status;
}

int run_partitions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (rejects_options(args, "partitions", err))
        return kUsage;
    if (args.size() != 1) {
        say_usage(err, "partitions", "name one DRIVE");
        return kUsage;
    }
    Session session;
    if (!open_partitioned_drive(session, args[0], "partitions", err))
        return kFailure;
    print_partitions(session, out);
    return kSuccess;
}

int run_search(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (rejects_options(args, "search", err))
        return kUsage;
    if (args.size() != 1) {
        say_usage(err, "search", "name one DRIVE");
        return kUsage;
    }
    Session session;
    if (!open_drive(session, args[0], "search", err) ||
        !search_lost_partitions(session, "search", err))
        return kFailure;
    print_partitions(session, out);
    return kSuccess;
}

} // namespace salvex::cli
