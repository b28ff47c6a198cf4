// A folder in the temporary folder for the files one test makes, empty when the test starts and
// removed with everything in it when the test ends.
#pragma once

#include "tests/support/test_images.h"

#include <filesystem>
#include <string>

namespace salvex::test {

class TestFolder {
public:
    // Named after the running test and `stem`: tests that run at the same time never share one.
    explicit TestFolder(const std::string& stem) : path_(temp_path(stem)) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace salvex::test
