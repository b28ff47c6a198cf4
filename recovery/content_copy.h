// Copying a file's contents from the examined drive: resident values, runs of clusters (sparse
// runs and unreadable sectors as zeros), and compressed runs decompressed.
#pragma once

#include "disk/progress.h"
#include "disk/relaxed.h"
#include "disk/sector_reader.h"
#include "ntfs/file_data.h"
#include "partition/volume_info.h"

#include <cstdint>
#include <functional>

namespace salvex {

// Receives the content in order; false when it could not be written.
using ContentWriter = std::function<bool(ByteView)>;
// Receives a run of zeros by its length, to leave a hole instead of writing them; false when it
// could not. Without one, zeros are written as content.
using HoleWriter = std::function<bool(uint64_t)>;

// What may interrupt a copy: the run's stop flag and the current file's skip flag, tested
// between chunks. Progress, when given, moves 0 to 99 with the bytes written. `unreadable`, when
// given, counts the sectors of the file that could not be read and went out as zeros.
struct CopyControl {
    const StopFlag* stop = nullptr;
    const StopFlag* skip = nullptr;
    ProgressSink* progress = nullptr;
    uint64_t* unreadable = nullptr;

    bool interrupted() const { return (stop && stop->load() != 0) || (skip && skip->load() != 0); }
    void count_unreadable(uint32_t sectors) const {
        if (unreadable)
            *unreadable += sectors;
    }
};

enum class CopyOutcome { Complete, Interrupted, WriteFailed };

// Writes the first `size` bytes of `file` (fewer when the content ends sooner, zeros past the
// initialized part). Contiguous clusters are read in one call, up to 1 MiB at a time; sparse
// runs and the part past the initialized size are not read, and go to `hole` when given.
CopyOutcome copy_file_content(const SectorReader& reader, const VolumeInfo& volume,
                              const FileData& file, uint64_t size, const ContentWriter& write,
                              const CopyControl& control, const HoleWriter& hole = {});

} // namespace salvex
