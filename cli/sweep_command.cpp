// salvex-cli sweep: the Advance Scan's sector sweep and classification over a range.
#include "advscan/range_input.h"
#include "advscan/sweep_and_classify.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/message_line.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"
#include "disk/open_image.h"
#include "partition/sector_size.h"

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
    auto device = open_image_or_device(parsed->positional[0]);
    if (!device) {
        say(err, "sweep", device.error());
        return kFailure;
    }
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    // The range is judged against the drive, so the drive is opened first.
    const auto range = parse_range(*startText, *endText, reader, "sweep", err);
    if (!range)
        return kUsage;

    TerminalProgress progress(err, "sweep",
                              TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    HitLists hits;
    StopFlag stop{0};
    const CandidateList candidates =
        sweep_and_classify(reader, *range, *perRead, hits, progress, stop);
    progress.finish();
    // Sector numbers in the drive's own sectors, as the range was given.
    const uint64_t unit = sector_unit(drive_sector_size(reader));
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
            << '\t' << c.mftMirrorStart / unit << '\t' << c.end / unit << "\tNTFS @"
            << c.start / unit << '\n';
    }
    return kSuccess;
}

} // namespace salvex::cli
