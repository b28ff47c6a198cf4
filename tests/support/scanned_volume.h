// Real volumes for tests: what a Standard Scan lists on a bundled image, by path, and the
// manifests the image builders wrote of what they created and deleted.
#pragma once

#include "disk/sector_reader.h"
#include "ntfs/standard_scan.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace salvex::test {

struct ListedItem {
    bool folder = false;
    bool deleted = false;
    uint64_t size = 0;
    uint32_t recordNumber = 0;
    Lba recordSector = 0;
    std::optional<uint8_t> recoverable; // a file's, as the scan holds it
};

// A Standard Scan of partition `number` (from 1, as the table walk lists them) of image `name`.
struct ScannedVolume {
    std::unique_ptr<SectorReader> reader;
    NtfsScan scan;
    // Every item reachable from the root, by its path ("/Documents/notes.txt").
    std::map<std::string, ListedItem> byPath;
};
ScannedVolume scan_image_partition(const std::string& name, size_t number);

// Paths of every item of a scan, walking the folder tree from the root.
std::map<std::string, ListedItem> items_by_path(const NtfsScan& scan);

// One line of a manifest: tab-separated under the header "partition kind state size record
// sha256 path"; an empty record or sha256 means unknown. A named data stream is a file line whose
// path is "/dir/file:stream".
struct ManifestEntry {
    size_t partition = 1;
    bool folder = false;
    bool deleted = false;
    uint64_t size = 0;
    std::optional<uint32_t> record;
    std::string path;
    std::string sha256; // of a file's content; empty when the manifest gives none

    // A named data stream of a file or folder rather than an item of the folder tree.
    bool is_stream() const;
};
std::vector<ManifestEntry> read_manifest(const std::string& file);

// Checks that `item` is listed as the manifest says: kind, state, a file's size and the record
// number when the manifest knows it. Failures name `path`.
void expect_listed_as(const ListedItem& item, const ManifestEntry& entry, const std::string& path);

// Manifest lines a check passes over (what a damage destroyed).
using ManifestSkip = std::function<bool(const ManifestEntry&)>;

// Every item of manifest `manifest` (a file under tests/data) but those `skip` names is listed in
// `byPath` at its path, as expect_listed_as says. Named streams are listed beside their items.
void expect_manifest_listed(const std::map<std::string, ListedItem>& byPath,
                            const std::string& manifest, const ManifestSkip& skip = {});
// The same over each partition of image `image` that the manifest names, each scanned once.
void expect_image_listed(const std::string& image, const std::string& manifest,
                         const ManifestSkip& skip = {});

// Whether an item named `leaf` is listed below a made-up folder ("/Dir0/.../leaf").
bool listed_in_lost_folder(const std::map<std::string, ListedItem>& byPath,
                           const std::string& leaf);

// The images of tests/data whose volumes fls (The Sleuth Kit) listed, in NAME.fls.tsv, by name.
std::vector<std::string> images_with_fls_listings();

// The live paths fls lists on image `image`, by partition, as this program lists them: a
// folder's named stream as "/folder:stream" (fls: "/folder/.:stream"). Left out: fls's own
// /$OrphanFiles, the named indexes of the metadata files ($Secure:$SDH, ...), which are no data
// streams, and in damaged_cycle /A and what lies below it: the $FILE_NAMEs of /A and /A/B name
// each other as parent, so the records put both in a lost folder though the root's index, which
// fls walks, still lists /A.
std::map<size_t, std::vector<std::string>> fls_live_paths(const std::string& image);

// Path of a file under tests/data in the source tree.
std::string source_data_path(const std::string& file);

} // namespace salvex::test
