// Hashes worked out on the hash workers' threads: each file's bytes in their order, whatever
// the other files do meanwhile.
#include "recovery/hash_workers.h"
#include "tests/support/sha256.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

TEST(HashWorkers, InterleavedFilesGetTheDigestsOfTheirOwnBytes) {
    HashWorkers workers(2);
    ASSERT_TRUE(workers.available());
    // More bytes than may wait at once, so that adding waits for the threads; a file given up
    // halfway and one of zeros only among them.
    const size_t chunk = size_t{1} << 20;
    const size_t chunks = HashWorkers::kMaxWaitingBytes / chunk + 8;
    std::vector<uint8_t> a(chunk * chunks), b(chunk * chunks);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<uint8_t>(i * 7 + i / 4099);
        b[i] = static_cast<uint8_t>(i * 13 + 1);
    }
    const HashWorkers::Job zeros = workers.start();
    workers.add_zeros(zeros, 3 * chunk + 5);
    workers.finish(zeros);
    const HashWorkers::Job first = workers.start();
    const HashWorkers::Job dropped = workers.start();
    const HashWorkers::Job second = workers.start();
    for (size_t i = 0; i < chunks; ++i) {
        workers.add(first, ByteView(a).subspan(i * chunk, chunk));
        if (i < chunks / 2)
            workers.add(dropped, ByteView(b).subspan(i * chunk, chunk));
        workers.add(second, ByteView(b).subspan(i * chunk, chunk));
        if (i == 3)
            workers.add_zeros(second, 1000); // a hole inside the file
    }
    workers.abandon(dropped);
    workers.finish(first);
    workers.finish(second);

    std::vector<uint8_t> withHole(b.begin(), b.begin() + static_cast<long>(4 * chunk));
    withHole.resize(withHole.size() + 1000, 0);
    withHole.insert(withHole.end(), b.begin() + static_cast<long>(4 * chunk), b.end());
    EXPECT_EQ(workers.take(second), test::sha256_hex(withHole));
    EXPECT_EQ(workers.take(first), test::sha256_hex(a));
    EXPECT_EQ(workers.take(zeros), test::sha256_hex(std::vector<uint8_t>(3 * chunk + 5, 0)));
    // An empty file's digest.
    const HashWorkers::Job empty = workers.start();
    workers.finish(empty);
    EXPECT_EQ(workers.take(empty),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
} // namespace salvex
