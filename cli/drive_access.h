// Opening the drive a command names and listing its partitions.
#pragma once

#include "session/session.h"

#include <ostream>
#include <string>

namespace salvex::cli {

// Opens DRIVE (an image or a block device) read-only in `session` and walks its partition
// table; false, after a sentence on `err`, when it cannot be opened. The list may be empty.
bool open_drive(Session& session, const std::string& path, const char* command, std::ostream& err);

// As open_drive; when the partition table lists nothing, the quick search for lost partitions
// fills the list. A drive on which neither found a partition is a failure.
bool open_partitioned_drive(Session& session, const std::string& path, const char* command,
                            std::ostream& err);

// Searches the drive for lost partitions, replacing its list; false (after the message) when
// none was found.
bool search_lost_partitions(Session& session, const char* command, std::ostream& err);

// The partition table as `partitions` prints it, start and size in the drive's sectors.
void print_partitions(const Session& session, std::ostream& out);

} // namespace salvex::cli
