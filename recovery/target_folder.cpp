#include "recovery/target_folder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace salvex {

std::string safe_component(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    if (out.empty() || out == "." || out == "..")
        out.insert(out.begin(), '_');
    return out;
}

Result<TargetFolder> TargetFolder::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Error{"Cannot open the target folder " + path + ": " + std::strerror(errno) + "."};
    return TargetFolder(fd, path, {});
}

Result<TargetFolder> TargetFolder::open_or_create(const std::string& path) {
    // Each parent in turn, from the first missing one down; an existing one is fine.
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string parent = path.substr(0, at);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST)
            return Error{"Cannot create the target folder " + parent + ": " + std::strerror(errno) +
                         "."};
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return Error{"Cannot create the target folder " + path + ": " + std::strerror(errno) + "."};
    return open(path);
}

TargetFolder::TargetFolder(TargetFolder&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), relative_(std::move(other.relative_)) {
    other.fd_ = -1;
}

TargetFolder& TargetFolder::operator=(TargetFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        relative_ = std::move(other.relative_);
        other.fd_ = -1;
    }
    return *this;
}

TargetFolder::~TargetFolder() {
    if (fd_ >= 0)
        ::close(fd_);
}

Result<TargetFolder> TargetFolder::sub_folder(std::string_view name) const {
    const std::string component = safe_component(name);
    const std::string path = path_ + (path_.ends_with('/') ? "" : "/") + component;
    if (::mkdirat(fd_, component.c_str(), 0755) != 0 && errno != EEXIST)
        return Error{"Cannot create folder " + path + ": " + std::strerror(errno) + "."};
    const int fd =
        ::openat(fd_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Error{"Cannot open folder " + path + ": " + std::strerror(errno) + "."};
    return TargetFolder(fd, path, relative_ + "/" + component);
}

bool TargetFolder::has_entry(std::string_view name) const {
    struct stat st {};
    return ::fstatat(fd_, safe_component(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

int TargetFolder::create_file(std::string_view name, bool replace) const {
    const std::string component = safe_component(name);
    struct stat st {};
    if (replace && ::fstatat(fd_, component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode) && ::unlinkat(fd_, component.c_str(), 0) != 0)
        return -1;
    return ::openat(fd_, component.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0644);
}

void TargetFolder::remove_file(std::string_view name) const {
    ::unlinkat(fd_, safe_component(name).c_str(), 0);
}

bool target_on_device(const std::string& target, const std::string& devicePath) {
    struct stat device {};
    struct stat folder {};
    if (::stat(devicePath.c_str(), &device) != 0 || !S_ISBLK(device.st_mode) ||
        ::stat(target.c_str(), &folder) != 0)
        return false;
    if (folder.st_dev == device.st_rdev)
        return true;
    // A partition of the device: sysfs lists it as a child of the whole disk.
    const std::string partition = "/sys/dev/block/" + std::to_string(major(folder.st_dev)) + ":" +
                                  std::to_string(minor(folder.st_dev));
    std::ifstream parentDev(partition + "/../dev");
    std::string parent;
    std::getline(parentDev, parent);
    return parent ==
           std::to_string(major(device.st_rdev)) + ":" + std::to_string(minor(device.st_rdev));
}

bool write_all(int fd, ByteView bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // nothing taken and no reason given
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace salvex
