#include "disk/bytes.h"

#include <gtest/gtest.h>
#include <vector>

namespace salvex {
namespace {

TEST(Bytes, FieldsAreLittleEndianAndNeverReadPastTheEnd) {
    const std::vector<uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    EXPECT_EQ(le16(b, 0), 0x0201);
    EXPECT_EQ(le32(b, 1), 0x05040302u);
    EXPECT_EQ(le64(b, 1), 0x0908070605040302u);
    EXPECT_EQ(le_uint(b, 6, 3), 0x090807u);
    EXPECT_EQ(le32(b, 6), std::nullopt);
    EXPECT_EQ(le8(b, 9), std::nullopt);
    EXPECT_EQ(le16(b, SIZE_MAX), std::nullopt);
    EXPECT_EQ(le_uint(b, 0, 9), std::nullopt);
}

TEST(Bytes, TextAndSignatureTests) {
    std::vector<uint8_t> sector(512, 0);
    EXPECT_FALSE(has_boot_signature(sector));
    sector[510] = 0x55;
    sector[511] = 0xAA;
    EXPECT_TRUE(has_boot_signature(sector));
    EXPECT_FALSE(has_boot_signature(ByteView(sector).first(511)));
    sector[3] = 'N';
    sector[4] = 'T';
    EXPECT_TRUE(has_text_at(sector, 3, "NT"));
    EXPECT_FALSE(has_text_at(sector, 3, "NTFS"));
    EXPECT_FALSE(has_text_at(sector, 511, "AB"));
}

} // namespace
} // namespace salvex
