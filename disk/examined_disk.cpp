#include "disk/examined_disk.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>

namespace salvex {

namespace {

// Devices stacked deeper than this are not followed (sysfs has no cycles, but a test's tree may).
constexpr int kMaxDepth = 16;

std::string device_name(dev_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::optional<dev_t> parse_device(const std::string& text) {
    unsigned majorNumber = 0;
    unsigned minorNumber = 0;
    char colon = 0;
    if (std::sscanf(text.c_str(), "%u%c%u", &majorNumber, &colon, &minorNumber) != 3 ||
        colon != ':')
        return std::nullopt;
    return makedev(majorNumber, minorNumber);
}

// The first line of a sysfs file, or "" when it cannot be read.
std::string first_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The folder a path that does not exist yet would be made in ("." for a bare name).
std::string parent_of(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.ends_with('/'))
        p.pop_back();
    const size_t slash = p.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

// The image file behind a loop device, as the kernel names it; "" for other devices. A backing
// file removed since shows as "PATH (deleted)" and is no longer there to compare.
std::string loop_backing_file(const std::string& sysDevice) {
    return first_line(sysDevice + "/loop/backing_file");
}

} // namespace

ExaminedDisk::ExaminedDisk(const std::string& path, std::string sysBlock)
    : path_(path), sysBlock_(std::move(sysBlock)) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (S_ISBLK(st.st_mode)) {
        device_ = st.st_rdev;
        // A loop device reads an image file: that file is the examined disk as well.
        const std::string backing = loop_backing_file(sysBlock_ + "/" + device_name(st.st_rdev));
        struct stat image {};
        if (!backing.empty() && ::stat(backing.c_str(), &image) == 0 && S_ISREG(image.st_mode))
            file_ = {image.st_dev, image.st_ino};
    } else {
        file_ = {st.st_dev, st.st_ino};
    }
}

bool ExaminedDisk::is(const struct stat& st) const {
    if (file_ && !S_ISBLK(st.st_mode) && !S_ISCHR(st.st_mode) && st.st_dev == file_->first &&
        st.st_ino == file_->second)
        return true;
    return device_ && S_ISBLK(st.st_mode) && st.st_rdev == *device_;
}

bool ExaminedDisk::is(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && is(st);
}

bool ExaminedDisk::holds_writes_of(dev_t device) const {
    if (!file_ && !device_)
        return false;
    // The whole disk the examined device is a partition of: a file system on that disk spans it.
    std::optional<dev_t> examinedParent;
    if (device_) {
        const std::string dir = sysBlock_ + "/" + device_name(*device_);
        if (exists(dir + "/partition"))
            examinedParent = parse_device(first_line(dir + "/../dev"));
    }
    std::set<dev_t> seen;
    // Whether writes to `d` reach the examined disk; `container` when `d` was reached as the
    // whole disk of a partition, whose other partitions are not the examined one.
    const auto reaches = [&](const auto& self, dev_t d, bool container, int depth) -> bool {
        if (depth > kMaxDepth || !seen.insert(d).second)
            return false;
        if (device_ && d == *device_)
            return true;
        if (!container && examinedParent && d == *examinedParent)
            return true;
        const std::string dir = sysBlock_ + "/" + device_name(d);
        if (exists(dir + "/partition")) {
            const auto parent = parse_device(first_line(dir + "/../dev"));
            if (parent && self(self, *parent, true, depth + 1))
                return true;
        }
        if (const std::string backing = loop_backing_file(dir); !backing.empty()) {
            struct stat image {};
            if (::stat(backing.c_str(), &image) == 0) {
                if (is(image))
                    return true;
                const dev_t holder = S_ISBLK(image.st_mode) ? image.st_rdev : image.st_dev;
                if (self(self, holder, false, depth + 1))
                    return true;
            }
        }
        // A device-mapper or md device names the devices it is built on as its slaves.
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/slaves", error)) {
            const auto slave = parse_device(first_line(entry.path().string() + "/dev"));
            if (slave && self(self, *slave, false, depth + 1))
                return true;
        }
        return false;
    };
    return reaches(reaches, device, false, 0);
}

bool ExaminedDisk::under(const std::string& path) const {
    std::string at = path;
    struct stat st {};
    for (int depth = 0; ::stat(at.c_str(), &st) != 0; ++depth) {
        const std::string up = parent_of(at);
        if (up == at || depth > 4096)
            return false;
        at = up;
    }
    return holds_writes_of(st.st_dev);
}

std::optional<std::string> output_file_refusal(const std::string& path,
                                               const ExaminedDisk& examined) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt; // nothing there yet (or a link to nothing, which is replaced)
    if (examined.is(st))
        return path + " is the disk being examined";
    if (S_ISREG(st.st_mode))
        return std::nullopt;
    if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode))
        return path + " is a device";
    if (S_ISDIR(st.st_mode))
        return path + " is a folder";
    if (S_ISFIFO(st.st_mode))
        return path + " is a named pipe";
    return path + " is not a regular file";
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    const bool devices = (S_ISBLK(sa.st_mode) || S_ISCHR(sa.st_mode));
    return devices && (sa.st_mode & S_IFMT) == (sb.st_mode & S_IFMT) && sa.st_rdev == sb.st_rdev;
}

} // namespace salvex
