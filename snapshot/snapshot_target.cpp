#include "snapshot/snapshot_target.h"

#include "disk/examined_disk.h"
#include "snapshot/snapshot_format.h"
#include "snapshot/snapshot_layout.h"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {

namespace {

// Whether the regular file at `path` starts with the snapshot tag.
bool starts_with_tag(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    std::array<uint8_t, snapshot_header::kTag.size()> tag{};
    size_t got = 0;
    while (got < tag.size()) {
        const ssize_t n = ::pread(fd, tag.data() + got, tag.size() - got, static_cast<off_t>(got));
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return got == tag.size() && equal_ignoring_case(tag, snapshot_header::kTag);
}

} // namespace

TargetCheck check_snapshot_target(const std::string& path, const std::string& examinedDisk) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0)
        return {SnapshotTarget::Free, {}};
    if (!examinedDisk.empty() && ExaminedDisk(examinedDisk).is(path))
        return {SnapshotTarget::ExaminedDisk, path + " is the disk being examined"};
    // A folder, a device or a pipe is never a snapshot; it is not opened to see.
    if (S_ISREG(s.st_mode) && starts_with_tag(path))
        return {SnapshotTarget::Snapshot, {}};
    return {SnapshotTarget::NotASnapshot, path + " exists and is not a snapshot file"};
}

} // namespace salvex
