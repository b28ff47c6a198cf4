// salvex-cli find: the files of a scanned partition whose names match a pattern.
#include "browse/find_files.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/drive_access.h"
#include "cli/item_paths.h"
#include "cli/message_line.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"

namespace salvex::cli {

int run_find(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed =
        parse_args(args, {"--quiet"}, kVolumeOptions, kVolumePairedOptions, "find", err);
    if (!parsed)
        return kUsage;
    if (parsed->positional.size() != 2) {
        say_usage(err, "find", "name one DRIVE and one PATTERN");
        return kUsage;
    }
    TerminalProgress progress(err, "find",
                              TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    int status = kFailure;
    const auto volume = open_volume(*parsed, parsed->positional[0], "find", progress, err, status);
    if (!volume)
        return status;
    progress.finish();
    const NtfsScan& scan = volume->scan;
    StopFlag stop{0};

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
