// salvex-cli find: the files of a scanned partition whose names match a pattern.
#include "browse/find_files.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/drive_access.h"
#include "cli/item_paths.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"

namespace salvex::cli {

int run_find(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed = parse_args(args, {"--quiet"}, {"--partition"}, "find", err);
    if (!parsed)
        return kUsage;
    const auto partitionText = parsed->value("--partition");
    const uint64_t number = partitionText ? parse_number(*partitionText).value_or(0) : 0;
    if (parsed->positional.size() != 2 || number == 0) {
        err << "Usage: salvex-cli find DRIVE --partition N PATTERN\n";
        return kUsage;
    }
    auto drive = open_partitioned_drive(parsed->positional[0], "find", err);
    if (!drive)
        return kFailure;
    const auto partition = choose_ntfs_partition(*drive, number, "find", err);
    if (!partition)
        return kFailure;

    TerminalProgress progress(err, TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    StopFlag stop{0};
    NtfsScan scan;
    if (standard_scan(*drive->reader, partition->start, partition->end(), scan, progress, stop) !=
        ScanOutcome::Completed)
        return kFailure;
    progress.finish();

    out << "name\tpath\tsize\n";
    SilentProgress quiet;
    find_files(
        scan, parsed->positional[1],
        [&](const FileMatch& match) {
            const FileNode& file = scan.items.files[match.fileIndex];
            const std::string folder = listed_folder_path(scan, file.parent);
            out << escape_name(match.name) << '\t' << (folder.empty() ? "/" : folder) << '\t'
                << match.size << '\n';
            return true;
        },
        quiet, stop);
    return kSuccess;
}

} // namespace salvex::cli
