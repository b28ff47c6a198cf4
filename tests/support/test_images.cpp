#include "tests/support/test_images.h"

#include "disk/block_device.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace salvex::test {

std::string image_path(const std::string& name) {
    return std::string(SALVEX_TEST_DATA_DIR) + "/" + name + ".img";
}

std::unique_ptr<SectorReader> open_image(const std::string& name) {
    return open_image_file(image_path(name));
}

std::unique_ptr<SectorReader> open_image_file(const std::string& path) {
    auto reader = std::make_unique<SectorReader>(AccessMode::Device);
    auto device = FileDevice::open(path);
    EXPECT_TRUE(device.ok()) << path << ": " << (device.ok() ? "" : device.error());
    if (device)
        reader->open_device(std::move(device).value());
    return reader;
}

std::string damaged_copy(const std::string& name, const std::vector<Lba>& sectors,
                         const std::string& copy) {
    const std::string path = temp_path(name + copy + ".img");
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

namespace {

// The running test process's own folder under the temporary folder, made on first use and
// removed with everything in it when the process ends.
class ProcessFolder {
public:
    ProcessFolder()
        : path_(std::filesystem::path(::testing::TempDir()) /
                ("salvex-tests-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace

std::string temp_path(const std::string& stem) {
    static const ProcessFolder folder;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return (folder.path() /
            (std::string(info->test_suite_name()) + "." + info->name() + "-" + stem))
        .string();
}

std::string empty_temp_folder(const std::string& stem) {
    const std::string path = temp_path(stem);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

std::string cli_path() {
    return SALVEX_CLI_PATH;
}

} // namespace salvex::test
