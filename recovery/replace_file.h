// Writing a file whole or not at all: the bytes go to a new file beside the target, which is
// then renamed over it. Whoever opens the name sees the old file or the whole new one, never a
// part, also when the disk fills or the program is killed halfway.
#pragma once

#include "disk/bytes.h"

#include <optional>
#include <string>

namespace salvex {

// What the program writes is readable by its user alone: what was recovered may be private.
inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateFolderMode = 0700;

struct ReplaceFailure {
    enum class Step { Create, Write, Rename };
    Step step = Step::Create;
    int error = 0; // errno of the step that failed
};

// Writes `bytes` as the file `path` (mode 0600), replacing what had the name; the new file is
// made durable before it takes the name. On failure the old file is left as it was and nothing
// of the new one remains.
std::optional<ReplaceFailure> replace_file(const std::string& path, ByteView bytes);

} // namespace salvex
