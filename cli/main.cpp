#include "cli/cli.h"

#include <iostream>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return salvex::cli::run(args, std::cout, std::cerr);
}
