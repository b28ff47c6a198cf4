#include "tests/support/test_images.h"

#include "disk/block_device.h"

#include <gtest/gtest.h>

namespace salvex::test {

std::string image_path(const std::string& name) {
    return std::string(SALVEX_TEST_DATA_DIR) + "/" + name + ".img";
}

std::unique_ptr<SectorReader> open_image(const std::string& name) {
    auto reader = std::make_unique<SectorReader>(AccessMode::Device);
    auto device = FileDevice::open(image_path(name));
    EXPECT_TRUE(device.ok()) << (device.ok() ? "" : device.error());
    if (device)
        reader->open_device(std::move(device).value());
    return reader;
}

std::string temp_path(const std::string& stem) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "salvex-" + info->test_suite_name() + "." + info->name() + "-" +
           stem;
}

std::string cli_path() {
    return SALVEX_CLI_PATH;
}

} // namespace salvex::test
