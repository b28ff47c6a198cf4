#include "recovery/replace_file.h"

#include "recovery/target_folder.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace salvex {

namespace {

// A new file named after the target with a random suffix, never an existing one; -1 with errno
// set when none can be made.
int create_sibling(const std::string& target, std::string& path) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::array<char, 16> suffix{};
        std::snprintf(suffix.data(), suffix.size(), ".~%08x", random());
        path = target + suffix.data();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              kPrivateFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

std::optional<ReplaceFailure> replace_file(const std::string& path, ByteView bytes) {
    std::string sibling;
    const int fd = create_sibling(path, sibling);
    if (fd < 0)
        return ReplaceFailure{ReplaceFailure::Step::Create, errno};
    const auto fail = [&](ReplaceFailure::Step step, int error) {
        ::unlink(sibling.c_str());
        return ReplaceFailure{step, error};
    };
    if (!write_all(fd, bytes) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(ReplaceFailure::Step::Write, error);
    }
    if (::close(fd) != 0)
        return fail(ReplaceFailure::Step::Write, errno);
    if (::rename(sibling.c_str(), path.c_str()) != 0)
        return fail(ReplaceFailure::Step::Rename, errno);
    return std::nullopt;
}

} // namespace salvex
