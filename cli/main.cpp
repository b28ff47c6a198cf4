#include "cli/cli.h"

#include <iostream>
#include <new>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return salvex::cli::run(args, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        // What the wizard says when memory runs out, as one sentence.
        std::cerr << "salvex-cli: out of memory, close other applications and run again.\n";
        return salvex::cli::kFailure;
    }
}
