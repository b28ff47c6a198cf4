// salvex-cli recover: the Standard Scan of one partition, then the chosen items written to a
// folder under the recovery policies.
#include "browse/file_filters.h"
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/item_paths.h"
#include "cli/message_line.h"
#include "cli/options.h"
#include "cli/stop_signals.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"
#include "disk/examined_disk.h"
#include "recovery/recovery_driver.h"
#include "recovery/recovery_report.h"
#include "recovery/target_folder.h"

#include <algorithm>
#include <memory>
#include <new>

namespace salvex::cli {

namespace {

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
                say(err, "recover", "filter '" + pattern + "': " + std::string(added.message()));
                return std::nullopt;
            }
        }
    }
    editor.close();
    return table;
}

// The files a summary names; the rest are counted.
constexpr size_t kNamedInSummary = 20;

// Names the files whose records claim more than their volume holds, in one sentence: they were
// written as far as the volume goes, and the user should not take them for whole.
void report_damaged(const RecoveryRun& run, std::ostream& err) {
    if (run.damagedFiles.empty())
        return;
    err << "salvex-cli recover: " << run.damagedFiles.size()
        << " file(s) are damaged and were written only as far as their volume goes: ";
    const size_t named = std::min(run.damagedFiles.size(), kNamedInSummary);
    for (size_t i = 0; i < named; ++i)
        err << (i == 0 ? "" : ", ") << escape_for_message(run.damagedFiles[i].path) << " ("
            << run.damagedFiles[i].reason << ")";
    if (run.damagedFiles.size() > named)
        err << " and " << run.damagedFiles.size() - named << " more";
    err << ".\n";
}

// One sentence naming the files that failed or hold zeros for unreadable sectors: the first
// ones by name with what went wrong, the rest counted.
void report_troubles(const RecoveryRun& run, const std::string& target, std::ostream& err) {
    std::vector<const FileOutcome*> troubled;
    for (const FileOutcome& o : run.outcomes) {
        if (o.status == FileStatus::Failed || (o.status == FileStatus::Written && o.unreadable > 0))
            troubled.push_back(&o);
    }
    if (troubled.empty())
        return;
    err << "salvex-cli recover: " << run.files_failed << " file(s) failed and "
        << run.files_unreadable << " hold zeros for unreadable sectors: ";
    for (size_t i = 0; i < troubled.size() && i < kNamedInSummary; ++i) {
        const FileOutcome& o = *troubled[i];
        err << (i == 0 ? "" : ", ") << escape_for_message(target + o.path) << " ("
            << (o.status == FileStatus::Failed
                    ? o.reason
                    : std::to_string(o.unreadable) + " sector(s) written as zeros")
            << ")";
    }
    if (troubled.size() > kNamedInSummary)
        err << " and " << troubled.size() - kNamedInSummary << " more";
    err << ".\n";
}

// Counts what the report holds besides the files written and failed, when there is any.
void report_passed(const RecoveryRun& run, std::ostream& err) {
    size_t empty = 0;
    size_t skipped = 0;
    size_t filtered = 0;
    for (const FileOutcome& o : run.outcomes) {
        empty += o.status == FileStatus::Empty;
        skipped += o.status == FileStatus::Skipped;
        filtered += o.status == FileStatus::Filtered;
    }
    if (empty + skipped + filtered == 0)
        return;
    err << "salvex-cli recover: " << empty << " file(s) are empty and were not created, " << skipped
        << " skipped as their names exist, " << filtered << " left out by the filters.\n";
}

// The exit status of a run that went to its end or was stopped.
int run_status(const RecoveryRun& run, int signal) {
    if (signal != 0)
        return kSignalBase + signal;
    if (run.files_failed > 0 || !run.stopReason.empty())
        return kFailure;
    return run.files_unreadable > 0 ? kUnreadableZeros : kSuccess;
}

// False, after saying why, when a file the run would write must not be written: the report may
// be neither the drive, nor a device or anything but a regular file; the target folder and the
// report may lie on the drive being examined only when the user says so (--yes).
bool writes_allowed(const ParsedArgs& args, const std::string& target,
                    const std::optional<std::string>& report, const ExaminedDisk& examined,
                    std::ostream& err) {
    if (report) {
        if (const auto refusal = output_file_refusal(*report, examined)) {
            say(err, "recover", "the report cannot be written: " + *refusal + ".");
            return false;
        }
    }
    const bool targetOnExamined = examined.under(target);
    if (!targetOnExamined && !(report && examined.under(*report)))
        return true;
    TerminalProgress asking(err, "recover",
                            TerminalProgress::wants_bar(args.flags.count("--quiet")),
                            args.flags.count("--yes") > 0);
    if (asking.ask_yes_no(kTargetOnExaminedDriveQuestion))
        return true;
    say(err, "recover",
        (targetOnExamined ? target : *report) +
            " lies on the drive being examined; nothing was written. Choose a folder on another "
            "disk, or give --yes to recover there anyway.");
    return false;
}

// Writes the report when --report was given; false after saying why it could not be written.
bool write_report_if_asked(const std::optional<std::string>& path,
                           std::span<const FileOutcome> outcomes, const ExaminedDisk& examined,
                           std::ostream& err) {
    if (!path)
        return true;
    std::string reason;
    if (write_report_file(*path, outcomes, examined, reason))
        return true;
    err << "salvex-cli recover: the report " << *path << " could not be written: " << reason
        << ".\n";
    return false;
}

} // namespace

int run_recover(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = kVolumeOptions;
    valued.insert({"--to", "--filter", "--duplicates", "--deleted", "--retries", "--save-snapshot",
                   "--report"});
    const auto parsed =
        parse_args(args, {"--yes", "--quiet"}, valued, kVolumePairedOptions, "recover", err);
    if (!parsed)
        return kUsage;
    const auto target = parsed->value("--to");
    if (parsed->positional.empty() || !target) {
        say_usage(err, "recover", "name a DRIVE and the folder to write to with --to DIR");
        return kUsage;
    }
    auto settings = settings_from(*parsed, err);
    auto filters = filters_from(*parsed, err);
    if (!settings || !filters)
        return kUsage;

    const std::string& drivePath = parsed->positional[0];
    const ExaminedDisk examined(drivePath);
    const auto reportPath = parsed->value("--report");
    if (!writes_allowed(*parsed, *target, reportPath, examined, err))
        return kFailure;
    const bool answer = parsed->flags.count("--yes") > 0;
    TerminalProgress progress(err, "recover",
                              TerminalProgress::wants_bar(parsed->flags.count("--quiet")), answer);

    Session session;
    session.settings = *settings;
    session.filters = *filters;
    // From here on a signal stops the work and leaves the report of what was done.
    StopOnSignals stopper;
    stopper.watch(session.state.stopRequested);
    int status = kFailure;
    // The report names each deleted file's recoverable share.
    const bool opened = open_volume(*parsed, session, drivePath, "recover", progress, err, status,
                                    reportPath ? Recoverability::Assess : Recoverability::Skip);
    if (stopper.signal() != 0) {
        progress.finish();
        err << "salvex-cli recover: stopped by a signal during the scan; nothing was recovered.\n";
        write_report_if_asked(reportPath, {}, examined, err);
        return kSignalBase + stopper.signal();
    }
    if (!opened)
        return status;
    if (!save_snapshot_if_asked(*parsed, session, "recover", err))
        return kFailure;

    std::vector<RecoveryRow> rows;
    const std::vector<std::string> paths(parsed->positional.begin() + 1, parsed->positional.end());
    for (const std::string& path : paths.empty() ? std::vector<std::string>{"/"} : paths) {
        const auto found = items_at_path(session.scan, path);
        if (found.empty()) {
            progress.finish();
            err << "salvex-cli recover: nothing was found at " << path
                << " (see salvex-cli list).\n";
            return kFailure;
        }
        rows.insert(rows.end(), found.begin(), found.end());
    }

    // Made once there is something to write into it: a drive that cannot be read leaves none.
    auto folder = TargetFolder::open_or_create(*target);
    if (!folder) {
        say(err, "recover", folder.error());
        return kFailure;
    }
    RecoveryRun run;
    stopper.watch(run.recovery_stop);
    session.recover(rows, *folder, run, progress, [&](const FileOutcome& o) {
        if (o.status == FileStatus::Failed && run.recovery_stop == 0)
            progress.show_message(escape_for_message(*target + o.path) +
                                      " could not be written: " + o.reason,
                                  MessageKind::Error);
    });
    const int signal = stopper.signal();
    progress.finish();

    out << "Recovered " << run.files_written << " file(s) to " << *target << "; "
        << run.files_failed << " failed.\n";
    if (run.files_encrypted > 0)
        out << run.files_encrypted
            << " of them are encrypted: they were written as they lie on the disk.\n";
    if (signal != 0)
        err << "salvex-cli recover: stopped by a signal; the file being written was removed.\n";
    if (!run.stopReason.empty())
        err << "salvex-cli recover: the run stopped because the target is full (" << run.stopReason
            << "); the file being written was removed.\n";
    report_troubles(run, *target, err);
    report_passed(run, err);
    report_damaged(run, err);
    int exitStatus = run_status(run, signal);
    if (!write_report_if_asked(reportPath, run.outcomes, examined, err) &&
        (exitStatus == kSuccess || exitStatus == kUnreadableZeros))
        exitStatus = kFailure;
    return exitStatus;
}

} // namespace salvex::cli
