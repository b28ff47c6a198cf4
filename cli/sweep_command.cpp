// salvex-cli sweep: the Advance Scan's sector sweep and classification over a range.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"
#include "disk/open_image.h"
#include "partition/sector_size.h"
#include "recovery/recovery_settings.h"

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
        err << "Usage: salvex-cli sweep DRIVE --start S --end E [--sectors-per-read N]\n";
        return kUsage;
    }
    const uint64_t perRead =
        parse_number(parsed->value("--sectors-per-read").value_or("60")).value_or(0);
    if (perRead < 1 || perRead > kMaxSectorsPerRead) {
        err << "salvex-cli sweep: --sectors-per-read takes a number from 1 to "
            << kMaxSectorsPerRead << ".\n";
        return kUsage;
    }
    auto device = open_image_or_device(parsed->positional[0]);
    if (!device) {
        err << "salvex-cli sweep: " << device.error() << "\n";
        return kFailure;
    }
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    // The range is judged against the drive, so the drive is opened first.
    const uint32_t sectorSize = drive_sector_size(reader);
    const auto range =
        parse_range(*startText, *endText, reader.total_sectors(), "sweep", err, sectorSize);
    if (!range)
        return kUsage;

    TerminalProgress progress(err, TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    const SweepResult result =
        sweep_range(reader, range->start, range->end, static_cast<uint32_t>(perRead), progress);
    progress.finish();
    if (result.candidates.empty()) {
        err << "salvex-cli sweep: no NTFS volume was found between sectors " << range->start
            << " and " << range->end << ".\n";
        return kFailure;
    }

    out << "candidate\tstart\tsectors_per_cluster\tmft_start\tmft_mirror_start\tend\tlabel\n";
    // Sector numbers in the drive's own sectors, as the range was given.
    const uint64_t unit = sectorSize / kSectorSize;
    for (size_t i = 0; i < result.candidates.size(); ++i) {
        const FsCandidate& c = result.candidates[i];
        out << i + 1 << '\t' << c.start / unit << '\t'
            << std::max<uint64_t>(1, c.sectorsPerCluster / unit) << '\t' << c.mftStart / unit
            << '\t' << c.mftMirrorStart / unit << '\t' << c.end / unit << "\tNTFS @"
            << c.start / unit << '\n';
    }
    return kSuccess;
}

} // namespace salvex::cli
