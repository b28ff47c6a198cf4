#include "tests/support/test_images.h"

#include "disk/block_device.h"

#include <filesystem>
#include <fstream>
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

std::string damaged_copy(const std::string& name, std::initializer_list<Lba> sectors) {
    const std::string path = temp_path(name + ".img");
    std::filesystem::copy_file(image_path(name), path,
                               std::filesystem::copy_options::overwrite_existing);
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::string zeros(kSectorSize, '\0');
    for (const Lba sector : sectors) {
        file.seekp(static_cast<std::streamoff>(sector * kSectorSize));
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    }
    EXPECT_TRUE(file.good()) << path;
    return path;
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
