// Writing under the folder the user chose, and nowhere else.
//
// Every folder below the target is opened relative to its parent without following symbolic
// links, and every file is created the same way, so neither a name from the disk nor a link
// planted in the target can place anything outside it.
#pragma once

#include "disk/bytes.h"
#include "disk/examined_disk.h"
#include "disk/result.h"

#include <optional>
#include <string>
#include <string_view>

namespace salvex {

// A name from the disk made safe as one path component: "/" and NUL become "_", and "", "." and
// ".." (which would name the folder itself or its parent) get a leading "_".
std::string safe_component(std::string_view name);

// An open folder at or below the target.
class TargetFolder {
public:
    // Opens the target folder the user chose (it must exist).
    static Result<TargetFolder> open(const std::string& path);
    // Opens the target folder, creating it and its parents when missing.
    static Result<TargetFolder> open_or_create(const std::string& path);

    TargetFolder(TargetFolder&& other) noexcept;
    TargetFolder& operator=(TargetFolder&& other) noexcept;
    TargetFolder(const TargetFolder&) = delete;
    TargetFolder& operator=(const TargetFolder&) = delete;
    ~TargetFolder();

    // The sub-folder `name` (made safe), created when missing. Fails when it exists as anything
    // but a real folder, a symbolic link included.
    Result<TargetFolder> sub_folder(std::string_view name) const;

    // True when an entry of that name (made safe) exists, of any kind.
    bool has_entry(std::string_view name) const;
    // True when the entry of that name (made safe) is `disk`, not through a symbolic link.
    bool entry_is(std::string_view name, const ExaminedDisk& disk) const;

    // Starts the file `name` (made safe): a new file under a temporary name in this folder,
    // which takes its own name only when PendingFile::commit is called, so that a file cut short
    // (the program killed, the disk full) never passes for a whole one. A temporary file left by
    // an earlier run for the same name is removed first. Returns nullopt with errno set.
    std::optional<class PendingFile> start_file(std::string_view name) const;

    const std::string& path() const { return path_; }
    // The folder below the target: "" for the target itself, "/Docs/2024" below it.
    const std::string& relative_path() const { return relative_; }

private:
    TargetFolder(int fd, std::string path, std::string relative)
        : fd_(fd), path_(std::move(path)), relative_(std::move(relative)) {}
    int fd_ = -1;
    std::string path_;     // for messages: the target and the components below it
    std::string relative_; // the components below the target
};

// The temporary name a file is written under in its folder until it is whole: a hidden name made
// from a hash of the file's own, the same in every run, so that a later run finds what a killed
// one left.
std::string pending_name(std::string_view component);

// A file being written under its temporary name. Destroyed before commit, it is removed.
class PendingFile {
public:
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&&) = delete;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    int fd() const { return fd_; }
    // Closes the file; false with errno set when the system reports a write it could not make.
    bool close();
    // Gives the closed file its own name. Without `replace` an entry of that name is never
    // replaced (EEXIST); with it, a regular file of that name is, atomically: another hard link
    // to the old one keeps the old bytes. Nothing is ever written through a link. False with
    // errno set.
    bool commit(bool replace);

private:
    friend class TargetFolder;
    PendingFile(int folderFd, int fd, std::string name)
        : folderFd_(folderFd), fd_(fd), name_(std::move(name)), temporary_(pending_name(name_)) {}
    int folderFd_;
    int fd_;
    std::string name_;
    std::string temporary_;
    bool committed_ = false;
};

// Writes every byte to the open file `fd`, again after an interruption; false with errno set
// (EIO when the system took nothing and gave no reason) when it cannot.
bool write_all(int fd, ByteView bytes);

} // namespace salvex
