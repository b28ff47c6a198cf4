// libFuzzer target: LZNT1 decompression of a compression unit that is the input, into units of
// the sizes NTFS uses (4 KiB clusters, 16 to a unit; smaller clusters; a cut-off buffer).
#include "ntfs/lznt1.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace salvex;
    const ByteView in(data, size);
    for (const size_t unit : {size_t{65536}, size_t{8192}, size_t{4097}, size_t{1}}) {
        std::vector<uint8_t> out(unit, 0xA5);
        const size_t produced = lznt1_decompress(in, out);
        if (produced > out.size())
            __builtin_trap(); // more bytes than the unit holds
    }
    return 0;
}
