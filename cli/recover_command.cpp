// salvex-cli recover: the Standard Scan of one partition, then the chosen items written to a
// folder under the recovery policies.
#include "browse/file_filters.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/drive_access.h"
#include "cli/item_paths.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"
#include "recovery/recovery_driver.h"
#include "recovery/target_folder.h"

#include <memory>

namespace salvex::cli {

namespace {

constexpr const char* kUsageLine =
    "Usage: salvex-cli recover DRIVE (--partition N | --range S E --candidate K | --snapshot "
    "FILE)\n"
    "       --to DIR [PATH...] [--filter PATTERN]... [--save-snapshot FILE]\n"
    "       [--duplicates rename|overwrite|skip] [--deleted include|only|exclude]\n"
    "       [--retries N] [--yes] [--quiet]\n";

template <class Policy>
bool parse_policy(const ParsedArgs& args, const char* option,
                  std::initializer_list<std::pair<const char*, Policy>> choices,
                  Relaxed<Policy>& to, std::ostream& err) {
    const auto text = args.value(option);
    if (!text)
        return true;
    for (const auto& [word, policy] : choices) {
        if (*text == word) {
            to = policy;
            return true;
        }
    }
    err << "salvex-cli recover: " << option << " takes ";
    for (const auto& [word, policy] : choices)
        err << (word == choices.begin()->first ? "" : ", ") << word;
    err << ".\n";
    return false;
}

// The recovery settings the options ask for; nullopt after a sentence on `err`.
std::optional<RecoverySettings> settings_from(const ParsedArgs& args, std::ostream& err) {
    RecoverySettings settings = default_recovery_settings(AccessMode::Device);
    if (!parse_policy<DuplicatePolicy>(args, "--duplicates",
                                       {{"rename", DuplicatePolicy::Rename},
                                        {"overwrite", DuplicatePolicy::Overwrite},
                                        {"skip", DuplicatePolicy::Skip}},
                                       settings.duplicate_policy, err) ||
        !parse_policy<DeletedPolicy>(args, "--deleted",
                                     {{"include", DeletedPolicy::Include},
                                      {"only", DeletedPolicy::OnlyDeleted},
                                      {"exclude", DeletedPolicy::Exclude}},
                                     settings.deleted_policy, err))
        return std::nullopt;
    if (const auto text = args.value("--retries")) {
        const auto retries = parse_number(*text);
        if (!retries || *retries < 1 || *retries > kMaxBadSectorRetries) {
            err << "salvex-cli recover: --retries takes a number from 1 to " << kMaxBadSectorRetries
                << ".\n";
            return std::nullopt;
        }
        settings.bad_sector_retries = static_cast<uint16_t>(*retries);
    }
    return settings;
}

// The filters the options name, as the File Filters dialog would take them.
std::optional<FilterTable> filters_from(const ParsedArgs& args, std::ostream& err) {
    FilterTable table;
    FilterEditor editor(table);
    const auto it = args.values.find("--filter");
    if (it != args.values.end()) {
        for (const std::string& pattern : it->second) {
            const FilterAddResult added = editor.add(pattern);
            if (!added.added()) {
                std::string message(added.message());
                message.erase(0, message.find_first_not_of(' '));
                message.erase(message.find_last_not_of(' ') + 1);
                err << "salvex-cli recover: filter '" << pattern << "': " << message << "\n";
                return std::nullopt;
            }
        }
    }
    editor.close();
    return table;
}

// Names the files whose records claim more than their volume holds: they were written as far as
// the volume goes, and the user should not take them for whole.
void report_damaged(const RecoveryRun& run, std::ostream& err) {
    if (run.damagedFiles.empty())
        return;
    err << "salvex-cli recover: " << run.damagedFiles.size()
        << " file(s) are damaged and were written only as far as their volume goes:\n";
    for (const DamagedFile& file : run.damagedFiles)
        err << "  " << file.path << ": " << file.reason << "\n";
}

} // namespace

int run_recover(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = kVolumeOptions;
    valued.insert(
        {"--to", "--filter", "--duplicates", "--deleted", "--retries", "--save-snapshot"});
    const auto parsed =
        parse_args(args, {"--yes", "--quiet"}, valued, kVolumePairedOptions, "recover", err);
    if (!parsed)
        return kUsage;
    const auto target = parsed->value("--to");
    if (parsed->positional.empty() || !target) {
        err << kUsageLine;
        return kUsage;
    }
    auto settings = settings_from(*parsed, err);
    auto filters = filters_from(*parsed, err);
    if (!settings || !filters)
        return kUsage;

    const std::string& drivePath = parsed->positional[0];
    auto folder = TargetFolder::open(*target);
    if (!folder) {
        err << "salvex-cli recover: " << folder.error() << "\n";
        return kFailure;
    }
    const bool answer = parsed->flags.count("--yes") > 0;
    TerminalProgress progress(err, TerminalProgress::wants_bar(parsed->flags.count("--quiet")),
                              answer);
    if (target_on_device(*target, drivePath) &&
        !progress.ask_yes_no(kTargetOnExaminedDriveQuestion))
        return kFailure;

    int status = kFailure;
    const auto volume = open_volume(*parsed, drivePath, "recover", progress, err, status);
    if (!volume)
        return status;
    if (!save_snapshot_if_asked(*parsed, *volume, "recover", err))
        return kFailure;
    volume->reader->set_bad_sector_retries(settings->bad_sector_retries);
    const NtfsScan& scan = volume->scan;

    std::vector<RecoveryRow> rows;
    const std::vector<std::string> paths(parsed->positional.begin() + 1, parsed->positional.end());
    for (const std::string& path : paths.empty() ? std::vector<std::string>{"/"} : paths) {
        const auto found = items_at_path(scan, path);
        if (found.empty()) {
            progress.finish();
            err << "salvex-cli recover: nothing was found at " << path
                << " (see salvex-cli list).\n";
            return kFailure;
        }
        rows.insert(rows.end(), found.begin(), found.end());
    }

    const ActiveFilters active(*filters);
    RecoveryRun run;
    RecoveryContext context(*volume->reader, scan, *settings, progress, run);
    if (!active.empty())
        context.passesFilters = [&active](std::string_view name) { return active.passes(name); };
    run_recovery(context, rows, *folder);
    progress.finish();

    out << "Recovered " << run.files_written << " file(s) to " << *target << "; "
        << run.files_failed << " failed.\n";
    if (run.files_encrypted > 0)
        out << run.files_encrypted
            << " of them are encrypted: they were written as they lie on the disk.\n";
    report_damaged(run, err);
    return run.files_failed == 0 ? kSuccess : kFailure;
}

} // namespace salvex::cli
