#include "ntfs/index_block.h"

#include "ntfs/utf16.h"

namespace salvex {

bool has_index_block_signature(ByteView bytes) {
    return has_text_at(bytes, index_block::kSignature, "INDX");
}

uint64_t index_block_vcn(ByteView block) {
    return le64(block, index_block::kVcn).value_or(0);
}

namespace {

// A node header's offsets count from the node header: `field` of the node header at `node`,
// from the start of `bytes`.
uint64_t node_offset(ByteView bytes, size_t node, size_t field) {
    return uint64_t{le32(bytes, node + field).value_or(0)} + node;
}

} // namespace

uint64_t index_block_size(ByteView block) {
    return node_offset(block, index_block::kNodeHeader, index_node::kEntriesAllocated);
}

uint64_t index_block_first_entry(ByteView block) {
    return node_offset(block, index_block::kNodeHeader, index_node::kEntriesOffset);
}

uint32_t index_root_block_size(ByteView rootValue) {
    return le32(rootValue, index_root::kBlockSize).value_or(0);
}

uint64_t index_root_first_entry(ByteView rootValue) {
    return node_offset(rootValue, index_root::kNodeHeader, index_node::kEntriesOffset);
}

MftReference IndexEntryView::file_reference() const {
    return decode_reference(le64(bytes, index_entry::kFileReference).value_or(0));
}

uint32_t IndexEntryView::parent() const {
    return le32(bytes, index_entry::kKey + file_name::kParent).value_or(0);
}

uint64_t IndexEntryView::creation_time() const {
    return le64(bytes, index_entry::kKey + file_name::kCreationTime).value_or(0);
}

uint32_t IndexEntryView::file_flags() const {
    return le32(bytes, index_entry::kKey + file_name::kFlags).value_or(0);
}

uint8_t IndexEntryView::name_length() const {
    return le8(bytes, index_entry::kKey + file_name::kNameLength).value_or(0);
}

std::optional<std::string> IndexEntryView::name() const {
    constexpr size_t kName = index_entry::kKey + file_name::kName;
    const size_t units = name_length();
    if (kName + 2 * units > bytes.size())
        return std::nullopt;
    return utf16le_to_utf8(bytes, kName, units);
}

std::optional<AttributeView> find_i30_attribute(ByteView record, uint32_t type) {
    std::optional<AttributeView> found;
    for_each_attribute(record, [&](const AttributeView& a) {
        if (a.type != type || le8(a.bytes, attribute::kNameLength) != 4)
            return true;
        const uint16_t nameAt = le16(a.bytes, attribute::kNameOffset).value_or(0);
        if (utf16le_to_utf8(a.bytes, nameAt, 4) == "$I30") {
            found = a;
            return false;
        }
        return true;
    });
    return found;
}

} // namespace salvex
