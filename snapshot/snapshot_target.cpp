#include "snapshot/snapshot_target.h"

#include "snapshot/snapshot_format.h"
#include "snapshot/snapshot_layout.h"

#include <array>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace salvex {

namespace {

bool is_device(const struct stat& s) {
    return S_ISBLK(s.st_mode) || S_ISCHR(s.st_mode);
}

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

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    return is_device(sa) && is_device(sb) && (sa.st_mode & S_IFMT) == (sb.st_mode & S_IFMT) &&
           sa.st_rdev == sb.st_rdev;
}

TargetCheck check_snapshot_target(const std::string& path, const std::string& examinedDisk) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0)
        return {SnapshotTarget::Free, {}};
    if (!examinedDisk.empty() && same_file(path, examinedDisk))
        return {SnapshotTarget::ExaminedDisk, path + " is the disk being examined"};
    // A folder, a device or a pipe is never a snapshot; it is not opened to see.
    if (S_ISREG(s.st_mode) && starts_with_tag(path))
        return {SnapshotTarget::Snapshot, {}};
    return {SnapshotTarget::NotASnapshot, path + " exists and is not a snapshot file"};
}

} // namespace salvex
