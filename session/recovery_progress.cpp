#include "session/recovery_progress.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace salvex {

RecoveryPlan plan_recovery(RecoveryContext& context, std::span<const RecoveryRow> rows) {
    const NtfsScan& scan = context.scan;
    RecoveryPlan plan;
    const auto count = [&](const FileNode& file) {
        // The driver passes over a file the filters or the deleted-file policy leave out before
        // it looks at its size: such a file is neither written nor skipped as empty.
        if (passes_policies(context, file))
            ++(file.size > 0 ? plan.files : plan.emptyFiles);
    };
    std::vector<TreeItemId> pending;
    for (const RecoveryRow& row : rows) {
        if (row.kind == RecoveryRow::Kind::File) {
            if (row.index < scan.items.files.size())
                count(scan.items.files[row.index]);
            continue;
        }
        if (row.index < 1 || row.index > scan.tree.size())
            continue;
        pending.push_back(static_cast<TreeItemId>(row.index));
        while (!pending.empty()) {
            const FolderTreeNode& node = scan.tree.node(pending.back());
            pending.pop_back();
            for (const size_t index : context.files_in(node.key))
                count(scan.items.files[index]);
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
        to_.set_counter("File", grouped(started_) + " of " + grouped(total_));
        to_.set_counter("Written", bytes_text(bytes_));
    }
    to_.set_counter(label, value);
}

void RecoveryProgress::finish() {
    count_finished_file();
    to_.set_counter("Written", bytes_text(bytes_));
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

} // namespace salvex
