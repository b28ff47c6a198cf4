#include "tests/support/shell.h"

#include "tests/support/test_images.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace salvex::test {

CommandOutput shell(const std::string& command) {
    CommandOutput result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 4096> chunk{};
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        result.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string cli(const std::string& args) {
    return cli_path() + " " + args;
}

} // namespace salvex::test
