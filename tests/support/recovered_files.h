// Recovery into the tests' temporary folders, and the check of what came back against the
// manifests the image builders wrote. For the suites that link the recovery layer.
#pragma once

#include "recovery/recovery_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace salvex::test {

// Recovers `rows` of `scan` into the empty folder temp_path(stem), with the default settings;
// `run` holds how it went.
inline void recover_rows(const SectorReader& reader, const NtfsScan& scan,
                         const std::vector<RecoveryRow>& rows, const std::string& stem,
                         RecoveryRun& run) {
    const std::string target = empty_temp_folder(stem);
    RecoverySettings settings;
    SilentProgress progress;
    RecoveryContext context(reader, scan, settings, progress, run);
    auto folder = TargetFolder::open(target);
    EXPECT_TRUE(folder.ok()) << target;
    if (folder)
        run_recovery(context, rows, *folder);
}

// Recovers everything under the root of `scan` into the empty folder temp_path(stem).
inline void recover_root(const SectorReader& reader, const NtfsScan& scan, const std::string& stem,
                         RecoveryRun& run) {
    recover_rows(reader, scan, root_rows(scan), stem, run);
}

// Every file of `entries` whose content the manifest knows, but those `skip` names, came back
// into `target` as written: its size and SHA-256; an empty file is not created. Returns how
// many files were compared.
inline size_t expect_files_as_written(const std::vector<ManifestEntry>& entries,
                                      const std::filesystem::path& target,
                                      const ManifestSkip& skip = {}) {
    size_t compared = 0;
    for (const ManifestEntry& e : entries) {
        if (e.folder || e.sha256.empty() || (skip && skip(e)))
            continue;
        const std::filesystem::path file = target / e.path.substr(1);
        if (e.size == 0) {
            EXPECT_FALSE(std::filesystem::exists(file)) << e.path;
            continue;
        }
        EXPECT_TRUE(std::filesystem::exists(file)) << e.path;
        if (!std::filesystem::exists(file))
            continue;
        EXPECT_EQ(std::filesystem::file_size(file), e.size) << e.path;
        EXPECT_EQ(sha256_of_file(file.string()), e.sha256) << e.path;
        ++compared;
    }
    return compared;
}

} // namespace salvex::test
