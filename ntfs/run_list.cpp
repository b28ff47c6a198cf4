#include "ntfs/run_list.h"

namespace salvex {

RunList decode_run_list(ByteView bytes, size_t at) {
    RunList runs;
    int64_t previous = 0;
    while (true) {
        const auto header = le8(bytes, at);
        if (!header || *header == 0)
            break;
        const size_t lengthBytes = *header & 0x0F;
        const size_t offsetBytes = *header >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8)
            break;
        const auto length = le_uint(bytes, at + 1, lengthBytes);
        if (!length || *length == 0)
            break;
        DataRun run;
        run.clusters = *length;
        if (offsetBytes == 0) {
            run.sparse = true;
        } else {
            const auto raw = le_uint(bytes, at + 1 + lengthBytes, offsetBytes);
            if (!raw)
                break;
            // Sign-extend the offset from its width.
            int64_t delta = static_cast<int64_t>(*raw);
            if (offsetBytes < 8 && (*raw >> (8 * offsetBytes - 1)) & 1)
                delta = static_cast<int64_t>(*raw | (~uint64_t{0} << (8 * offsetBytes)));
            if (__builtin_add_overflow(previous, delta, &previous) || previous < 0)
                break;
            run.lcn = static_cast<uint64_t>(previous);
        }
        runs.push_back(run);
        at += 1 + lengthBytes + offsetBytes;
    }
    return runs;
}

uint64_t run_list_clusters(const RunList& runs) {
    uint64_t total = 0;
    for (const DataRun& run : runs)
        total += run.clusters;
    return total;
}

} // namespace salvex
