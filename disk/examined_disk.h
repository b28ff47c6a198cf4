// The disk being examined, as the files the program writes must never meet it.
//
// The program writes recovered files, reports and snapshots; none of them may land on the disk
// it reads. The disk can be reached in more ways than its own name: another device node or hard
// link to it, the image file behind a loop device (or the loop device in front of an image), a
// partition of it, or a device built on top of it (a device-mapper or md device). Every check
// here only looks (stat and sysfs); nothing is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace salvex {

// Where the kernel names block devices' relations: /sys/dev/block/MAJ:MIN. Tests give another.
inline constexpr const char* kSysBlockDevices = "/sys/dev/block";

class ExaminedDisk {
public:
    ExaminedDisk() = default; // nothing examined: every check passes
    // The image file or block device at `path`, as it is now. A path that cannot be looked at
    // examines nothing.
    explicit ExaminedDisk(const std::string& path, std::string sysBlock = kSysBlockDevices);

    const std::string& path() const { return path_; }

    // True when `st` describes the examined disk itself: the same file, the same device through
    // another node, or the image file behind the examined loop device.
    bool is(const struct stat& st) const;
    // The same for the file at `path`; false when it does not exist.
    bool is(const std::string& path) const;

    // True when writing on the file system of block device `device` can write onto the
    // examined disk: that device is the disk, a partition of it, the whole disk it is a
    // partition of, a device built on it, or a loop device (or a partition of one) whose image
    // is the examined file or lies on one of these.
    bool holds_writes_of(dev_t device) const;

    // True when a file or folder written at `path` would lie on the examined disk. A path that
    // does not exist yet is judged by its nearest existing parent.
    bool under(const std::string& path) const;

private:
    std::string path_;
    std::string sysBlock_;
    std::optional<std::pair<dev_t, ino_t>> file_; // an image file: its device and inode
    std::optional<dev_t> device_;                 // a block device: its number
};

// Why the program must not write the file `path`: the examined disk itself, or anything but a
// regular file (a device, a pipe, a socket, a folder) where one exists. A sentence without its
// full stop ("/data/d.img is the disk being examined"); nullopt when the file may be written.
std::optional<std::string> output_file_refusal(const std::string& path,
                                               const ExaminedDisk& examined);

// Whether two paths name one file: the same device and inode (through links of any kind), or
// the same block or character device through two device nodes. False when either is missing.
bool same_file(const std::string& a, const std::string& b);

} // namespace salvex
