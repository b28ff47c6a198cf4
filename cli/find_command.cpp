// salvex-cli find: the files of a scanned partition whose names match a pattern.
#include "cli/cli.h"
#include "cli/commands.h"
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
    Session session;
    int status = kFailure;
    if (!open_volume(*parsed, session, parsed->positional[0], "find", progress, err, status,
                     Recoverability::Skip))
        return status;
    progress.finish();
    const NtfsScan& scan = session.scan;

    out << "name\tpath\tsize\n";
    SilentProgress quiet;
    session.find_files(
        parsed->positional[1],
        [&](const FileMatch& match) {
            const FileNode& file = scan.items.files[match.fileIndex];
            const std::string folder = listed_folder_path(scan, file.parent);
            out << escape_name(match.name) << '\t' << (folder.empty() ? "/" : folder) << '\t'
                << match.size << '\n';
            return true;
        },
        quiet, session.state.stopRequested);
    return kSuccess;
}

} // namespace salvex::cli
