#include "app/recovery_progress.h"

#include <cstdio>
#include <filesystem>
#include <unordered_map>
#include <vector>

namespace salvex::app {

RecoveryPlan plan_recovery(const NtfsScan& scan, std::span<const RecoveryRow> rows) {
    // Files by parent record: with contents, and empty.
    std::unordered_map<uint32_t, std::pair<uint64_t, uint64_t>> filesIn;
    for (const FileNode& file : scan.items.files) {
        auto& counts = filesIn[file.parent];
        ++(file.size > 0 ? counts.first : counts.second);
    }
    RecoveryPlan plan;
    std::vector<TreeItemId> pending;
    for (const RecoveryRow& row : rows) {
        if (row.kind == RecoveryRow::Kind::File) {
            if (row.index < scan.items.files.size())
                ++(scan.items.files[row.index].size > 0 ? plan.files : plan.emptyFiles);
            continue;
        }
        if (row.index < 1 || row.index > scan.tree.size())
            continue;
        pending.push_back(static_cast<TreeItemId>(row.index));
        while (!pending.empty()) {
            const FolderTreeNode& node = scan.tree.node(pending.back());
            pending.pop_back();
            if (const auto found = filesIn.find(node.key); found != filesIn.end()) {
                plan.files += found->second.first;
                plan.emptyFiles += found->second.second;
            }
            pending.insert(pending.end(), node.children.begin(), node.children.end());
        }
    }
    return plan;
}

namespace {

std::string grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

} // namespace

std::string bytes_text(uint64_t bytes) {
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024)
        return grouped(bytes) + " bytes";
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return std::string(text) + " (" + grouped(bytes) + " bytes)";
}

void RecoveryProgress::set_counter(std::string_view label, std::string_view value) {
    if (label == "Path") {
        // A new file begins: the one before it is as complete as it will be.
        count_finished_file();
        current_ = std::string(value);
        ++started_;
        shown_.set_counter("File", grouped(started_) + " of " + grouped(total_));
        shown_.set_counter("Written", bytes_text(bytes_));
    }
    shown_.set_counter(label, value);
}

void RecoveryProgress::finish() {
    count_finished_file();
    shown_.set_counter("Written", bytes_text(bytes_));
}

void RecoveryProgress::count_finished_file() {
    if (current_.empty())
        return;
    std::error_code error;
    const auto size = std::filesystem::file_size(current_, error);
    if (!error)
        bytes_ += size;
    current_.clear();
}

} // namespace salvex::app
