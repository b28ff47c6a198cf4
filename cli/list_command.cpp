// salvex-cli list: the Standard Scan of one partition, printed as a tree walk.
#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/item_paths.h"
#include "cli/message_line.h"
#include "cli/options.h"
#include "cli/terminal_progress.h"
#include "cli/volume_source.h"
#include "ntfs/filetime.h"

#include <optional>

namespace salvex::cli {

namespace {

struct Printer {
    const NtfsScan& scan;
    std::unordered_map<uint32_t, std::vector<size_t>> files;
    // 512-byte sectors a drive sector holds: a file's id is its record's sector counted in the
    // drive's own sectors, as every sector number the command line prints (with records
    // smaller than a drive sector, the sector that holds the record's start).
    uint64_t sectorUnit;
    bool deletedOnly;
    std::ostream& out;

    void line(const char* kind, bool deleted, uint64_t size, uint64_t created, uint64_t modified,
              uint64_t id, std::optional<uint8_t> recoverable, const std::string& path) const {
        if (deletedOnly && !deleted)
            return;
        out << kind << '\t' << (deleted ? 1 : 0) << '\t' << size << '\t'
            << format_item_time(created) << '\t' << format_item_time(modified) << '\t' << id
            << '\t';
        if (recoverable)
            out << unsigned{*recoverable};
        out << '\t' << path << '\n';
    }

    void files_of(uint32_t key, const std::string& path) const {
        const auto it = files.find(key);
        if (it == files.end())
            return;
        for (const size_t index : it->second) {
            const FileNode& f = scan.items.files[index];
            line("file", f.deleted, f.size, f.creationTime, f.changeTime,
                 f.recordSector / sectorUnit, f.recoverable, path + "/" + escape_name(f.name));
        }
    }

    // Depth first from the root: each folder, then its sub-folders, then its files.
    void print() const {
        struct Frame {
            TreeItemId id;
            std::string path;
            size_t next = 0;
        };
        std::vector<Frame> stack{{FolderTree::kRootId, ""}};
        while (!stack.empty()) {
            Frame& frame = stack.back();
            const FolderTreeNode& node = scan.tree.node(frame.id);
            if (frame.next == node.children.size()) {
                files_of(node.key, frame.path);
                stack.pop_back();
                continue;
            }
            const TreeItemId child = node.children[frame.next++];
            const FolderNode& folder = scan.items.folders[scan.tree.node(child).folder];
            std::string path = frame.path + "/" + escape_name(folder.name);
            line("folder", folder.deleted, 0, folder.creationTime, folder.changeTime,
                 folder.recordNumber, std::nullopt, path);
            stack.push_back({child, std::move(path)});
        }
    }
};

} // namespace

int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> valued = kVolumeOptions;
    valued.insert("--save-snapshot");
    const auto parsed =
        parse_args(args, {"--deleted", "--quiet"}, valued, kVolumePairedOptions, "list", err);
    if (!parsed)
        return kUsage;
    if (parsed->positional.size() != 1) {
        say_usage(err, "list", "name one DRIVE");
        return kUsage;
    }
    TerminalProgress progress(err, "list",
                              TerminalProgress::wants_bar(parsed->flags.count("--quiet")));
    Session session;
    int status = kFailure;
    if (!open_volume(*parsed, session, parsed->positional[0], "list", progress, err, status,
                     Recoverability::Assess))
        return status;
    progress.finish();
    if (!save_snapshot_if_asked(*parsed, session, "list", err))
        return kFailure;

    out << "kind\tdeleted\tsize\tcreated\tmodified\tid\trecoverable\tpath\n";
    Printer{session.scan, files_by_parent(session.scan.items), session.drive_sector_unit(),
            parsed->flags.count("--deleted") > 0, out}
        .print();
    return kSuccess;
}

} // namespace salvex::cli
