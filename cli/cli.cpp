#include "cli/cli.h"

#include "cli/commands.h"
#include "disk/image_format.h"

#include <algorithm>
#include <array>

namespace salvex::cli {

namespace {

constexpr std::array kCommands = {
    Command{"drives", "drives [IMAGE...]",
            "Lists the drives: the whole disks of this machine and the disk images named (any\n"
            "format DRIVE takes; total_sectors is the size of the disk an image holds).\n"
            "Prints: index, name, cylinders, heads, sectors_per_track, total_sectors,\n"
            "sector_size, path. sector_size is the drive's logical sector size in bytes (512,\n"
            "or 4096 on 4Kn drives and many USB enclosures), as the kernel or the image format\n"
            "reports it or, for a raw image, as its partition table or boot sector shows it;\n"
            "total_sectors and every sector number the commands print and take count sectors\n"
            "of that size.",
            run_drives},
    Command{"partitions", "partitions DRIVE",
            "Walks the partition table of DRIVE (a block device such as /dev/sdb, or a disk\n"
            "image: see 'salvex-cli --help') and lists the FAT16, FAT32 and NTFS partitions\n"
            "it finds.\n"
            "When the table lists nothing, searches for lost partitions as 'search' does.\n"
            "Prints: number, type, start, size (start and size in the drive's sectors: see\n"
            "sector_size in 'drives').",
            run_partitions},
    Command{"search", "search DRIVE",
            "Searches DRIVE for partitions whose table entries are lost: boot sectors at the\n"
            "start of every cylinder, one track after it, and at every 1 MiB boundary.\n"
            "Prints the partitions found as 'partitions' does.",
            run_search},
    Command{"sweep", "sweep DRIVE --start S --end E [--sectors-per-read N] [--quiet]",
            "The Advance Scan: reads every sector from S to E for what NTFS volumes leave\n"
            "behind (boot sectors, file records, index blocks), even with their partition,\n"
            "boot sector or first sectors gone, and lists the candidate volumes it confirms.\n"
            "Prints: candidate, start, sectors_per_cluster, mft_start, mft_mirror_start, end,\n"
            "label. S, E and the sector numbers printed count the drive's sectors (see\n"
            "sector_size in 'drives'). Give a candidate to list, find and recover with\n"
            "--range S E --candidate K.",
            run_sweep},
    Command{"list",
            "list DRIVE (--partition N | --range S E --candidate K | --snapshot FILE)\n"
            "           [--deleted] [--save-snapshot FILE] [--quiet]",
            "Lists every folder and file of a volume, deleted ones included: NTFS partition N\n"
            "of DRIVE (numbered as 'partitions' lists them) read through its Master File\n"
            "Table, candidate K of a sweep of sectors S to E (in the drive's sectors), or a\n"
            "snapshot saved earlier (read with the same DRIVE; FILE is the name given to\n"
            "--save-snapshot or the one it saved under). Items are printed depth first from\n"
            "the root: a folder, then its sub-folders, then its files.\n"
            "Prints: kind (folder or file), deleted (1 or 0), size in bytes, created, modified,\n"
            "id (a file's record sector, in the drive's sectors; a folder's record number),\n"
            "recoverable and path.\n"
            "recoverable, for a deleted file, is the share (0 to 100) of the clusters holding\n"
            "its bytes that no file written since has taken: 100 means it can come back whole.\n"
            "For a live file it is the share of its clusters that lie on DRIVE, told only when\n"
            "DRIVE (an image cut short) ends before them. It is empty for folders, for other\n"
            "live files, for a deleted file whose data cannot be found, and for a candidate\n"
            "whose Master File Table is not known.\n"
            "  --deleted             print only deleted items\n"
            "  --save-snapshot FILE  also save the scan as FILE.QRSX for later use\n"
            "  --quiet               no progress bar on stderr",
            run_list},
    Command{"recover",
            "recover DRIVE (--partition N | --range S E --candidate K | --snapshot FILE)\n"
            "           --to DIR [PATH...] [--filter PATTERN]... [--save-snapshot FILE]\n"
            "           [--duplicates rename|overwrite|skip] [--deleted include|only|exclude]\n"
            "           [--retries N] [--report FILE] [--yes] [--quiet]",
            "Reads the volume (as 'list' does) and writes the items at the given paths (as 'list'\n"
            "prints them; none means everything in the root) under DIR, folders with all they\n"
            "hold. DIR and its parents are made when missing. Nothing is ever written to DRIVE.\n"
            "  --filter PATTERN   write only files whose names match one of the patterns\n"
            "                     (* and ? as wildcards, case-insensitive; a pattern without\n"
            "                     them matches names that contain it)\n"
            "  --duplicates       what to do when a name exists in DIR: rename (default; the\n"
            "                     copy becomes 'Copy (1 ) of NAME'), overwrite, or skip\n"
            "  --deleted          include (default), only, or exclude deleted files\n"
            "  --retries N        attempts per unreadable sector, 1 to 10 (default 3), for the\n"
            "                     scan's reads as well as the copy's\n"
            "  --report FILE      write a tab-separated report with one line per file:\n"
            "                     status (written, failed, skipped, empty or filtered), size,\n"
            "                     sha256 of the bytes written, unreadable (sectors written as\n"
            "                     zeros), recoverable, path under DIR (escaped as 'list' does)\n"
            "  --yes              go on after an error without asking\n"
            "  --quiet            no progress bar on stderr\n"
            "Prints one line counting the files written and the files that failed; stderr names\n"
            "each file that failed (with the system's reason) or holds zeros for unreadable\n"
            "sectors. A file that cannot be written whole is removed. Ctrl-C (SIGINT) or\n"
            "SIGTERM stops after removing the file being written; the summary and the report\n"
            "are still written. A full target stops the run.\n"
            "Exit status: 0 every file written whole; 1 a file failed (or the target filled\n"
            "up); 2 wrong arguments; 3 every file written, but some hold zeros for unreadable\n"
            "sectors; 130 stopped by SIGINT, 143 by SIGTERM.",
            run_recover},
    Command{"find",
            "find DRIVE (--partition N | --range S E --candidate K | --snapshot FILE) PATTERN",
            "Reads the volume (as 'list' does) and prints every file whose name matches PATTERN\n"
            "(case-insensitive; * and ? as wildcards; a pattern without them matches names\n"
            "that contain it; *.TXT matches names ending in .TXT).\n"
            "Prints: name, path of its folder (as 'list' writes paths), size in bytes.",
            run_find},
};

void print_usage(std::ostream& to) {
    to << "Usage: salvex-cli COMMAND [ARGS...]\n"
          "Finds partitions and recovers files from NTFS disks and disk images, read-only.\n\n"
          "Commands:\n";
    for (const auto& command : kCommands)
        to << "  salvex-cli " << command.synopsis << "\n";
    to << "\nDRIVE is a block device (/dev/sdb) or a disk image, opened read-only and told\n"
          "apart by its contents: raw (dd, ddrescue), raw split into numbered segments (name\n"
          "the first: disk.001 or disk.aa), EnCase E01 (name the first segment; the others\n"
          "are found beside it), VHD, VHDX, VMDK (descriptor and extent files) or QCOW2.\n";
    const ImageLibraries libraries = built_in_image_libraries();
    for (const auto format : {ImageFormat::Ewf, ImageFormat::Vhd, ImageFormat::Vhdx,
                              ImageFormat::Vmdk, ImageFormat::Qcow}) {
        if (!libraries.has(library_of(format)))
            to << "Note: " << missing_library_message(format) << ".\n";
    }
    to << "\nRun 'salvex-cli COMMAND --help' for a command's details.\n";
}

bool wants_help(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        print_usage(err);
        return kUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        print_usage(out);
        return kSuccess;
    }
    const auto command = std::find_if(kCommands.begin(), kCommands.end(),
                                      [&](const Command& c) { return args[0] == c.name; });
    if (command == kCommands.end()) {
        err << "salvex-cli: unknown command '" << args[0] << "'.\n";
        print_usage(err);
        return kUsage;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (wants_help(rest)) {
        out << "Usage: salvex-cli " << command->synopsis << "\n" << command->help << "\n";
        return kSuccess;
    }
    return command->run(rest, out, err);
}

} // namespace salvex::cli
