// The commands of salvex-cli, one function each.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace salvex::cli {

struct Command {
    const char* name;
    const char* synopsis; // the usage line after "salvex-cli "
    const char* help;     // what the command does and prints
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

int run_drives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_recover(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_find(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_sweep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_search(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int run_partitions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace salvex::cli
