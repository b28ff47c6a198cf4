// salvex-cli sweep: the Advance Scan's sector sweep and classification over a range.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/message_line.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"

#include <algorithm>

namespace salvex::cli {

int run_sweep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const auto parsed =
        parse_args(args, {"--quiet"}, {"--start", "--end", "--sectors-per-read"}, "sweep", err);
    if (!parsed)
        return kUsage;
    const auto startText = parsed->value("--start");
    const auto endText = parsed->value("--end");
    if (parsed->positional.size() != 1 || !startText || !endText) {
        say_usage(err, "sweep", "name one DRIVE, --start S and --end E");
        return kUsage;
    }
    const auto perRead = sectors_per_read(*parsed, "sweep", err);
    if (!perRead)
        return kUsage;
    Session session;
    if (const auto opened = session.open_drive(parsed->positional[0]); !opened) {
        say(err, "sweep", opened.error());
        return kFailure;
    }
    // The range is judged against the drive, so the drive is opened first.
    const auto range = parse_range(*startText, *endText, session, "sweep", err);
    if (!range)
        return kUsage;

    TerminalProgress progress(err, "sweep",
                              TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    session.sweep(*range, *perRead, progress);
    progress.finish();
    const CandidateList& candidates = session.candidates;
    // Sector numbers in the drive's own sectors, as the range was given.
    const uint64_t unit = session.drive_sector_unit();
    if (const auto encrypted = session.encrypted_volume_found()) {
        say(err, "sweep", *encrypted);
        return kFailure;
    }
    if (candidates.empty()) {
        err << "salvex-cli sweep: no NTFS volume was found between sectors " << range->start / unit
            << " and " << range->end / unit << ".\n";
        return kFailure;
    }

    out << "candidate\tstart\tsectors_per_cluster\tmft_start\tmft_mirror_start\tend\tlabel\n";
    for (size_t i = 0; i < candidates.size(); ++i) {
        const FsCandidate& c = candidates[i];
        out << i + 1 << '\t' << c.start / unit << '\t'
            << std::max<uint64_t>(1, c.sectorsPerCluster / unit) << '\t' << c.mftStart / unit
            << '\t' << c.mftMirrorStart / unit << '\t' << c.end / unit << '\t' << c.label(unit)
            << '\n';
    }
    return kSuccess;
}

} // namespace salvex::cli
