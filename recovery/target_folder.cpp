#include "recovery/target_folder.h"

#include "recovery/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
        return system_error("Cannot open the target folder " + path, errno);
    return TargetFolder(fd, path, {});
}

Result<TargetFolder> TargetFolder::open_or_create(const std::string& path) {
    // Each parent in turn, from the first missing one down; an existing one is fine.
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string parent = path.substr(0, at);
        if (::mkdir(parent.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
            return system_error("Cannot create the target folder " + parent, errno);
    }
    if (::mkdir(path.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
        return system_error("Cannot create the target folder " + path, errno);
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
    if (::mkdirat(fd_, component.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST)
        return system_error("Cannot create folder " + path, errno);
    const int fd =
        ::openat(fd_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return system_error("Cannot open folder " + path, errno);
    return TargetFolder(fd, path, relative_ + "/" + component);
}

bool TargetFolder::has_entry(std::string_view name) const {
    struct stat st {};
    return ::fstatat(fd_, safe_component(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TargetFolder::entry_is(std::string_view name, const ExaminedDisk& disk) const {
    struct stat st {};
    return ::fstatat(fd_, safe_component(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           disk.is(st);
}

std::string pending_name(std::string_view component) {
    uint64_t hash = 0xcbf29ce484222325; // 64-bit FNV-1a
    for (const char c : component)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    char text[40];
    std::snprintf(text, sizeof text, ".~salvex-%016llx.part",
                  static_cast<unsigned long long>(hash));
    return text;
}

std::optional<PendingFile> TargetFolder::start_file(std::string_view name) const {
    std::string component = safe_component(name);
    const std::string temporary = pending_name(component);
    const auto create = [&] {
        return ::openat(fd_, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode);
    };
    int fd = create();
    if (fd < 0 && errno == EEXIST) {
        ::unlinkat(fd_, temporary.c_str(), 0); // what a killed run left of this file
        fd = create();
    }
    if (fd < 0)
        return std::nullopt;
    return PendingFile(fd_, fd, std::move(component));
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : folderFd_(other.folderFd_), fd_(other.fd_), name_(std::move(other.name_)),
      temporary_(std::move(other.temporary_)), committed_(other.committed_) {
    other.fd_ = -1;
    other.committed_ = true; // the moved-from file removes nothing
}

PendingFile::~PendingFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_)
        ::unlinkat(folderFd_, temporary_.c_str(), 0);
}

bool PendingFile::close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

bool PendingFile::commit(bool replace) {
    struct stat st {};
    if (replace && ::fstatat(folderFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(st.st_mode)) {
        errno = EEXIST;
        return false;
    }
    // Without `replace` the name must be free as it is taken (EEXIST when it is not, whatever
    // the entry is): a file that appeared meanwhile is not replaced.
    const unsigned flags = replace ? 0 : RENAME_NOREPLACE;
    if (::renameat2(folderFd_, temporary_.c_str(), folderFd_, name_.c_str(), flags) != 0) {
        if (replace || errno != EINVAL)
            return false;
        // A file system without that flag: a link is never made over an existing name.
        if (::linkat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str(), 0) != 0)
            return false;
        ::unlinkat(folderFd_, temporary_.c_str(), 0);
    }
    committed_ = true;
    return true;
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
