#include "cli/item_paths.h"

namespace salvex::cli {

namespace {

std::vector<std::string> split_path(std::string_view path) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= path.size()) {
        const size_t slash = path.find('/', at);
        const std::string_view part =
            path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
        if (!part.empty())
            parts.push_back(unescape_name(part));
        if (slash == std::string_view::npos)
            break;
        at = slash + 1;
    }
    return parts;
}

} // namespace

std::string escape_name(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescape_name(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
    return out;
}

std::string listed_folder_path(const NtfsScan& scan, uint32_t folderRecord) {
    const FolderNode* folder = scan.items.find_folder(folderRecord);
    if (folderRecord == kRootFolderRecord || !folder || folder->treeItem == 0)
        return {};
    std::vector<const std::string*> names;
    for (TreeItemId id = folder->treeItem; id != FolderTree::kRootId && id != 0;
         id = scan.tree.node(id).parent)
        names.push_back(&scan.items.folders[scan.tree.node(id).folder].name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += "/" + escape_name(**it);
    return path;
}

std::vector<RecoveryRow> items_at_path(const NtfsScan& scan, std::string_view path) {
    const std::vector<std::string> parts = split_path(path);
    if (parts.empty())
        return root_rows(scan);

    // Folders that match the path so far (a name may repeat among siblings).
    std::vector<TreeItemId> level{FolderTree::kRootId};
    for (size_t p = 0; p + 1 < parts.size(); ++p) {
        std::vector<TreeItemId> next;
        for (const TreeItemId id : level) {
            for (const TreeItemId child : scan.tree.node(id).children) {
                if (scan.items.folders[scan.tree.node(child).folder].name == parts[p])
                    next.push_back(child);
            }
        }
        level = std::move(next);
    }

    std::vector<RecoveryRow> rows;
    for (const TreeItemId id : level) {
        const FolderTreeNode& node = scan.tree.node(id);
        for (const TreeItemId child : node.children) {
            if (scan.items.folders[scan.tree.node(child).folder].name == parts.back())
                rows.push_back({RecoveryRow::Kind::Folder, child});
        }
        for (size_t i = 0; i < scan.items.files.size(); ++i) {
            const FileNode& f = scan.items.files[i];
            if (f.parent == node.key && f.name == parts.back())
                rows.push_back({RecoveryRow::Kind::File, i});
        }
    }
    return rows;
}

} // namespace salvex::cli
