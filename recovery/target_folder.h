// Writing under the folder the user chose, and nowhere else.
//
// Every folder below the target is opened relative to its parent without following symbolic
// links, and every file is created the same way, so neither a name from the disk nor a link
// planted in the target can place anything outside it.
#pragma once

#include "disk/bytes.h"
#include "disk/result.h"

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

    // Creates the file `name` (made safe) for writing; it must not exist. With `replace`, a
    // regular file of that name is unlinked first, so that a new file takes its name: another
    // hard link to the old one keeps the old bytes. Nothing is ever written through a link.
    // Returns the open descriptor, or -1 with errno set.
    int create_file(std::string_view name, bool replace = false) const;

    // Removes the file `name` (made safe), such as a file left half-written.
    void remove_file(std::string_view name) const;

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

// Writes every byte to the open file `fd`, again after an interruption; false with errno set
// (EIO when the system took nothing and gave no reason) when it cannot.
bool write_all(int fd, ByteView bytes);

// True when `target` lies on the block device `devicePath` or on one of its partitions:
// writing there could overwrite the data being recovered. False for image files.
bool target_on_device(const std::string& target, const std::string& devicePath);

} // namespace salvex
